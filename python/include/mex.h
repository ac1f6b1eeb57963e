// The host interface as the Python host provides it. The Python build puts
// this folder first on the include path, so host/host.h takes these
// declarations for the real host's header; the definitions are in
// python/src/host.cpp, which presents NumPy arrays as host arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

typedef int64_t mwSize;

typedef enum {
  mxUNKNOWN_CLASS = 0,
  mxCELL_CLASS,
  mxSTRUCT_CLASS,
  mxLOGICAL_CLASS,
  mxCHAR_CLASS,
  mxVOID_CLASS,
  mxDOUBLE_CLASS,
  mxSINGLE_CLASS,
  mxINT8_CLASS,
  mxUINT8_CLASS,
  mxINT16_CLASS,
  mxUINT16_CLASS,
  mxINT32_CLASS,
  mxUINT32_CLASS,
  mxINT64_CLASS,
  mxUINT64_CLASS,
  mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

struct mxArray;

extern "C" {
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
}

size_t mxGetM(const mxArray* array);
size_t mxGetN(const mxArray* array);
size_t mxGetNumberOfElements(const mxArray* array);
mwSize mxGetNumberOfDimensions(const mxArray* array);
double* mxGetPr(const mxArray* array);
void* mxGetData(const mxArray* array);
mxClassID mxGetClassID(const mxArray* array);
bool mxIsDouble(const mxArray* array);
bool mxIsComplex(const mxArray* array);
bool mxIsSparse(const mxArray* array);
bool mxIsChar(const mxArray* array);
bool mxIsEmpty(const mxArray* array);
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag);
int mxGetString(const mxArray* array, char* buffer, mwSize length);
void* mxMalloc(size_t bytes);
void* mxCalloc(size_t count, size_t size);
void mxFree(void* pointer);
[[noreturn]] void mexErrMsgTxt(const char* text);
void mexWarnMsgTxt(const char* text);
int mexPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The host's standard error is Python's sys.stderr, where notebooks and
// redirections of Python's streams see what a module writes there. The C
// library offers no other way to swap the stream under code that names it.
std::FILE* python_host_stderr();
#undef stderr
#define stderr python_host_stderr()
