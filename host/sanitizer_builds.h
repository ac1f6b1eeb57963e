// Whether a test program runs under ThreadSanitizer. That build looks for
// data races in the threaded calls and runs many times slower than the
// others; tests leave to the other builds what no thread touches there (the
// serial references that threaded results are checked against).
#pragma once

namespace sanitizer_builds {

#if defined(__SANITIZE_THREAD__)
constexpr bool under_thread_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool under_thread_sanitizer = true;
#else
constexpr bool under_thread_sanitizer = false;
#endif
#else
constexpr bool under_thread_sanitizer = false;
#endif

}  // namespace sanitizer_builds
