// The host interface as the Python host provides it. The Python build puts
// this folder first on the include path, so host/host.h takes these
// declarations for the real host's header; the definitions are in
// python/src/host.cpp, which presents NumPy arrays as host arrays.
#pragma once

#include <cstdio>

#include "host/host_calls.h"

// Python counts from 0: row numbers in and out of the modules do too.
#define TOOLBOX_INDEX_BASE 0

// The host's standard error is Python's sys.stderr, where notebooks and
// redirections of Python's streams see what a module writes there. The C
// library offers no other way to swap the stream under code that names it.
std::FILE* python_host_stderr();
#undef stderr
#define stderr python_host_stderr()
