// Fuzz target of textmatrix's number conversion: every input, taken as one
// token, must give exactly what strtod gives for it as a C string, the value
// bit for bit and the number of characters read; alone, and followed by
// separators and more text as the reader hands tokens over. Any difference
// aborts.
#include "textmatrix/textmatrix.cpp"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string token(reinterpret_cast<const char*>(data), size);
  char* stop = nullptr;
  const double want = std::strtod(token.c_str(), &stop);
  const size_t want_length = size_t(stop - token.c_str());
  for (const char* after : {"", "                                        ", ",12345678901234567890123456789012345 78"}) {
    const std::string text = token + after;
    std::string scratch;
    const parsed_number got = parse_token(text.data(), text.data() + text.size(), true, scratch);
    if (std::memcmp(&got.value, &want, sizeof want) != 0 || got.length != want_length) {
      std::fprintf(stderr, "textmatrix parser: \"%s\" gives %.17g (%zu characters), strtod %.17g (%zu)\n",
                   text.c_str(), got.value, got.length, want, want_length);
      std::abort();
    }
  }
  return 0;
}
