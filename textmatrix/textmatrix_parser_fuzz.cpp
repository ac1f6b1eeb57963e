// Fuzz target of textmatrix's number conversion: every input, taken as one
// token, must give exactly what strtod gives for it as a C string, the value
// bit for bit and the number of characters read; alone, and followed by
// separators and more text as the reader hands tokens over. And every input
// up to its first NUL, taken as a stretch of text, at each place in a block
// of the block converter and with room behind it, must give the numbers
// strtod gives for its tokens. Any difference aborts.
#include "textmatrix/textmatrix.cpp"
#include "textmatrix/line_reader.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

void fail_stretch(const std::string& text, size_t k, double got, double want) {
  std::fprintf(stderr, "textmatrix converter: \"%s\" number %zu gives %.17g, strtod %.17g\n", text.c_str(), k,
               got, want);
  std::abort();
}

// The stretch as the converter reads it, against the tokens cut at the
// separators and read by strtod.
void check_stretch(const std::string& text) {
  const std::vector<double> want = line_reader::strtod_of_tokens(text);
  std::vector<double> got(want.size() + 1);
  std::string scratch;
  const uint64_t count = convert_tokens(text.data(), text.size(), got.data(), got.size(), true, scratch);
  if (count != want.size()) {
    std::fprintf(stderr, "textmatrix converter: \"%s\" gives %llu numbers, strtod %zu\n", text.c_str(),
                 static_cast<unsigned long long>(count), want.size());
    std::abort();
  }
  for (size_t k = 0; k < want.size(); ++k)
    if (std::memcmp(&got[k], &want[k], sizeof(double)) != 0) fail_stretch(text, k, got[k], want[k]);
}

}  // namespace

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
  const std::string stretch = token.substr(0, token.find('\0'));
  const size_t shift = size % 64;  // where in a block the text begins
  check_stretch(stretch);
  check_stretch(std::string(shift, ' ') + stretch + std::string(130, ' '));
  check_stretch(std::string(63 - shift, ' ') + stretch + std::string(130, ' '));
  check_stretch(std::string(shift, ' ') + stretch + ";-1.5," + stretch + std::string(130, ';'));
  return 0;
}
