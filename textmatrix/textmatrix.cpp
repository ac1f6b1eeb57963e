// textmatrix: every number of a text file, in reading order, as one column.
//
//   X = textmatrix(filename)
//
// The file is read as lines. A line whose first character is "#" is a comment
// and skipped whole; every other line is cut into tokens at the characters
// ";, \n\r" (runs of them count as one cut; tab is no separator). Each token
// becomes one double: the longest numeric prefix as strtod reads it (leading
// white space skipped), 0 for a token without one.
//
// Lines are read as through a buffer of 65536 bytes: a longer line arrives
// in several chunks of 65535 characters, and each chunk is treated as a line
// of its own: a "#" at the start of a chunk skips that chunk, a token across
// a chunk boundary becomes two tokens, and a chunk ends at its first NUL
// byte, as a C string does. Files written in this format rely on that, so it
// stays.
//
// The file is read twice: once to count the tokens, so that the output is
// created at its final size, and once to convert them. Both passes read the
// file in fills, cut each fill into pieces of about 256 KiB that begin and
// end at chunk boundaries, and handle the pieces of a fill side by side on
// the call's threads. The counting pass keeps each piece's token count (4
// bytes per piece), so that in the converting pass every piece knows where
// its numbers go. Memory beyond the output: the fill buffer (512 KiB on one
// thread, small enough to stay in the cache between the read and the
// parsing; 4 MiB per thread on several, at most 16 MiB) and that index.
// Fills that large keep the threads' meeting points few: on a machine
// shared with other work a thread that waits for its core delays every
// meeting. The converting pass reads plain stretches 64 characters at a
// time: masks of separators and digits give every token's start,
// and for the common decimals its end and value too.
#include <cfenv>
#include <cfloat>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

// The fast, correctly rounded decimal parser is a header-only library that
// not every machine building the modules has (MATLAB on Windows, an Octave
// package built elsewhere). Without it every token goes through strtod,
// with the same results, only slower.
#if defined(__has_include)
#if __has_include(<fast_float/fast_float.h>)
#include <fast_float/fast_float.h>
#define TEXTMATRIX_HAVE_FAST_FLOAT 1
#endif
#endif

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "host/host.h"
#include "host/parallel.h"

namespace {

// ---- numbers ----------------------------------------------------------------

// What strtod makes of a token: the value and how many characters it read.
struct parsed_number {
  double value;
  size_t length;
};

// The number of bits set.
inline uint64_t bits_set(uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555u;
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return (x * 0x0101010101010101u) >> 56;
}

#ifdef TEXTMATRIX_HAVE_FAST_FLOAT
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// ---- the common case, eight characters at a time ----

// The eight characters at p, the first in the lowest byte whatever the
// machine's byte order (compilers make this one load).
inline uint64_t eight_characters(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return uint64_t(b[0]) | uint64_t(b[1]) << 8 | uint64_t(b[2]) << 16 | uint64_t(b[3]) << 24 |
         uint64_t(b[4]) << 32 | uint64_t(b[5]) << 40 | uint64_t(b[6]) << 48 | uint64_t(b[7]) << 56;
}

// The index of the lowest non-zero byte of a non-zero word, without a
// branch: one instruction where the compiler offers it.
inline int lowest_set_byte(uint64_t word) {
#if defined(__GNUC__)
  return __builtin_ctzll(word) / 8;
#else
  return int(bits_set((word & (~word + 1)) - 1) / 8);
#endif
}

// How many of the eight characters, from the first, are decimal digits. A
// byte's high nibble is left non-zero exactly when it is no digit; a borrow
// or carry only disturbs the bytes after the first such one.
inline int leading_digits(uint64_t characters) {
  const uint64_t offset = characters - 0x3030303030303030u;
  const uint64_t no_digit = (offset | (offset + 0x0606060606060606u)) & 0xF0F0F0F0F0F0F0F0u;
  return no_digit == 0 ? 8 : lowest_set_byte(no_digit);
}

// The value of the first n (1 to 8) characters, all digits: moved to the
// top bytes (the bytes below become leading zeros), then summed in pairs,
// quadruples and the whole.
inline uint64_t value_of_digits(uint64_t characters, int n) {
  uint64_t digits = (characters - 0x3030303030303030u) << (64 - 8 * n);
  digits = digits * 10 + (digits >> 8);
  return (((digits & 0x000000FF000000FFu) * (100 + (uint64_t(1000000) << 32))) +
          (((digits >> 16) & 0x000000FF000000FFu) * (1 + (uint64_t(10000) << 32)))) >> 32;
}

constexpr uint64_t powers_of_ten[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
// The powers of ten that doubles hold exactly.
constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                          1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                          1e14, 1e15, 1e16, 1e17, 1e18, 1e19};

// Most numbers in data files are [-]ddd.ddd with 1 to 7 digits before the
// point, at most 19 digits in all, no exponent, and no more than 2^53 as a
// whole number: then that whole number and the power of ten are exact
// doubles and one division, rounded to nearest, gives the correctly rounded
// value. Reads eight characters at a time, so it needs 32 characters before
// `end`.
// Returns the length read, or 0 to leave the token to the general parser.
// Needs double arithmetic without excess precision.
inline size_t parse_common_decimal(const char* begin, const char* end, double& value) {
  if (FLT_EVAL_METHOD != 0) return 0;
  const bool negative = *begin == '-';
  const char* p = begin + (negative ? 1 : 0);
  if (end - p < 32) return 0;
  const uint64_t integer_part = eight_characters(p);
  const int integer_digits = leading_digits(integer_part);
  if (integer_digits == 0 || integer_digits == 8) return 0;
  uint64_t mantissa = value_of_digits(integer_part, integer_digits);
  p += integer_digits;
  int fraction_digits = 0;
  if (*p == '.') {
    ++p;
    for (int part = 0; part < 3; ++part) {
      const uint64_t characters = eight_characters(p);
      const int n = leading_digits(characters);
      if (n == 8 && part == 2) return 0;
      if (n > 0) mantissa = mantissa * powers_of_ten[n] + value_of_digits(characters, n);
      fraction_digits += n;
      p += n;
      if (n < 8) break;
    }
  }
  if (*p == 'e' || *p == 'E' || integer_digits + fraction_digits > 19 || mantissa > (uint64_t(1) << 53))
    return 0;
  const double magnitude = double(mantissa) / exact_powers_of_ten[fraction_digits];
  value = negative ? -magnitude : magnitude;
  return size_t(p - begin);
}

// ---- every decimal ----

// The tokens of ordinary data files: an optional "-", decimal digits with
// at most one point, an optional exponent. For them the common case above or
// the library gives what
// strtod gives in the "C" locale rounding to nearest: the correctly rounded
// value (also overflow to infinity, underflow to denormals and zero, any
// number of digits) and the same end. Everything else is declined and goes
// to strtod: leading white space, "+", hexadecimal, inf and nan, and texts
// without digits such as "." or "-". `end` may lie past the token's own end
// when a separator follows it: separators end a number anyway.
inline bool parse_plain_decimal(const char* begin, const char* end, parsed_number& number) {
  const char* digits = begin;
  if (digits != end && *digits == '-') ++digits;
  if (digits == end) return false;
  const char first = *digits;
  if (!(is_digit(first) || first == '.')) return false;
  if (first == '0' && end - digits > 1 && (digits[1] == 'x' || digits[1] == 'X')) return false;
  number.length = parse_common_decimal(begin, end, number.value);
  if (number.length > 0) return true;
  const fast_float::from_chars_result result = fast_float::from_chars(begin, end, number.value);
  if (result.ec != std::errc()) return false;
  number.length = size_t(result.ptr - begin);
  return true;
}
#else
bool parse_plain_decimal(const char*, const char*, parsed_number&) { return false; }
#endif

// Whether the fast parser may stand in for strtod on this thread: strtod
// follows the locale's decimal point and the rounding mode, the fast parser
// knows only "." and rounding to nearest. Otherwise every token takes strtod
// on the calling thread alone.
bool fast_parsing_applies() {
  const char* point = std::localeconv()->decimal_point;
  return point && std::strcmp(point, ".") == 0 && std::fegetround() == FE_TONEAREST;
}

// What strtod gives for the token [begin, end), read as a C string; `end`
// may also be the end of the stretch of text the token begins, when a
// separator follows it. `scratch` is the caller's buffer for the terminated
// copy.
parsed_number parse_token(const char* begin, const char* end, bool fast, std::string& scratch) {
  parsed_number number;
  if (fast && parse_plain_decimal(begin, end, number)) return number;
  scratch.assign(begin, end);
  char* stop = nullptr;
  number.value = std::strtod(scratch.c_str(), &stop);
  number.length = size_t(stop - scratch.c_str());
  return number;
}

// ---- tokens -----------------------------------------------------------------

constexpr bool is_separator(unsigned char c) {
  return c == ' ' || c == ',' || c == ';' || c == '\n' || c == '\r';
}

// Bit j set where text[j] is a separator, for the 64 bytes at text. Where
// the processor has 16-byte compares (every x86-64), sixteen bytes are
// tested at once.
uint64_t separator_mask(const unsigned char* text) {
#if defined(__SSE2__) || defined(_M_X64)
  uint64_t mask = 0;
  for (int part = 0; part < 4; ++part) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * part));
    const __m128i separators = _mm_or_si128(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(x, _mm_set1_epi8(','))),
                     _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(';')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')))),
        _mm_cmpeq_epi8(x, _mm_set1_epi8('\r')));
    mask |= uint64_t(uint16_t(_mm_movemask_epi8(separators))) << (16 * part);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int j = 0; j < 64; ++j) mask |= uint64_t(is_separator(text[j])) << j;
  return mask;
#endif
}

// The tokens of a stretch of text that holds no NUL and no chunk boundary
// except after a line feed: the places where a token character follows a
// separator or the start, counted 64 bytes at a time.
uint64_t count_tokens(const char* text, size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  uint64_t count = 0;
  uint64_t previous_is_separator = 1;
  size_t i = 0;
  for (; i + 64 <= length; i += 64) {
    const uint64_t separators = separator_mask(p + i);
    count += bits_set(~separators & (separators << 1 | previous_is_separator));
    previous_is_separator = separators >> 63;
  }
  for (; i < length; ++i) {
    const uint64_t separator = is_separator(p[i]);
    count += ~separator & previous_is_separator & 1;
    previous_is_separator = separator;
  }
  return count;
}

#if defined(TEXTMATRIX_HAVE_FAST_FLOAT) && defined(__SSE2__) && defined(__GNUC__) && defined(__SIZEOF_INT128__)
#define TEXTMATRIX_HAVE_WINDOWS 1

// ---- tokens and numbers in one go, 64 characters at a time ----

// Where 64 characters are separators and decimal digits (bit j for
// character j).
struct masks {
  uint64_t separators, digits;
};

inline masks masks_at(const char* p) {
  masks m{0, 0};
  for (int part = 0; part < 4; ++part) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
    const __m128i separators = _mm_or_si128(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(x, _mm_set1_epi8(','))),
                     _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(';')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')))),
        _mm_cmpeq_epi8(x, _mm_set1_epi8('\r')));
    // '0' to '9' moved to the lowest ten signed bytes.
    const __m128i digits = _mm_cmplt_epi8(_mm_add_epi8(x, _mm_set1_epi8(char(0x80 - '0'))),
                                          _mm_set1_epi8(char(0x80 + 10)));
    m.separators |= uint64_t(uint16_t(_mm_movemask_epi8(separators))) << (16 * part);
    m.digits |= uint64_t(uint16_t(_mm_movemask_epi8(digits))) << (16 * part);
  }
  return m;
}

// Bits i to i + 63 of the 128 bits high:low.
inline uint64_t bits_from(uint64_t low, uint64_t high, int i) {
  if (i > 63) __builtin_unreachable();
  return uint64_t(((unsigned __int128)high << 64 | low) >> i);
}

// The value of the first n (0 to 8) of eight characters, all digits; no
// branch on n.
inline uint64_t value_of_first(uint64_t characters, int n) {
  const int shift = 32 - 4 * n;  // twice: n = 0 shifts everything out
  uint64_t digits = ((characters & 0x0F0F0F0F0F0F0F0Fu) << shift) << shift;
  digits = digits * 10 + (digits >> 8);
  return (((digits & 0x000000FF000000FFu) * (100 + (uint64_t(1000000) << 32))) +
          (((digits >> 16) & 0x000000FF000000FFu) * (1 + (uint64_t(10000) << 32)))) >> 32;
}

constexpr uint64_t integer_powers_of_ten[] = {
    1u, 10u, 100u, 1000u, 10000u, 100000u, 1000000u, 10000000u, 100000000u, 1000000000u,
    10000000000u, 100000000000u, 1000000000000u, 10000000000000u, 100000000000000u,
    1000000000000000u, 10000000000000000u, 100000000000000000u, 1000000000000000000u};

// The token that begins at p, given where the 64 characters from p are
// separators and digits, when it is [-]I[.F] with 1 to 8 digits I,
// at most 19 digits in all, a whole number I F of at most 2^53, and a
// separator right after it: then its value, one correctly rounded division,
// is what strtod gives. Returns the length, or 0 to leave the token to the
// general parser. The text must go on for 64 characters from p.
inline int window_decimal(const char* p, uint64_t separators, uint64_t digits, double& value) {
  if (FLT_EVAL_METHOD != 0) return 0;
  const int negative = *p == '-';
  // The token ends at the first separator; within it, after the sign, only
  // digits and at most one point, after 1 to 8 digits.
  const int length = __builtin_ctzll(separators | uint64_t(1) << 32);
  const uint64_t body = ((uint64_t(1) << length) - 1) >> negative << negative;
  const uint64_t others = ~digits & body;
  const int point = others != 0;
  const int integer_digits = (point ? __builtin_ctzll(others | uint64_t(1) << 63) : length) - negative;
  const int all_digits = length - negative - point;
  const int fraction_digits = all_digits - integer_digits;
  if ((others & (others - 1)) != 0 || unsigned(integer_digits - 1) > 7u || all_digits > 19 ||
      (point && p[negative + integer_digits] != '.'))
    return 0;
  // The digits from the first on, the point squeezed out: the characters
  // after the integer digits move down by one.
  const char* const first = p + negative;
  const uint64_t w0 = eight_characters(first), w1 = eight_characters(first + 8), w2 = eight_characters(first + 16);
  const uint64_t integer_bytes = ((uint64_t(1) << (4 * integer_digits)) << (4 * integer_digits)) - 1;
  const uint64_t d0 = (w0 & integer_bytes) | ((w0 >> 8 | w1 << 56) & ~integer_bytes);
  const uint64_t d1 = w1 >> 8 | w2 << 56;
  const uint64_t d2 = w2 >> 8;
  const int n0 = std::min(all_digits, 8);
  const int n1 = std::min(std::max(all_digits - 8, 0), 8);
  const int n2 = std::max(all_digits - 16, 0);
  const uint64_t mantissa =
      value_of_first(d0, n0) * integer_powers_of_ten[n1 + n2] + value_of_first(d1, n1) * integer_powers_of_ten[n2] +
      value_of_first(d2, n2);
  if (mantissa > (uint64_t(1) << 53)) return 0;
  const double magnitude = double(mantissa) / exact_powers_of_ten[fraction_digits];
  uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  bits ^= uint64_t(negative) << 63;
  std::memcpy(&value, &bits, sizeof bits);
  return length;
}
#endif

// Converts the tokens of such a stretch in order into values[0, capacity);
// returns how many there are (surplus tokens beyond capacity are dropped).
uint64_t convert_tokens(const char* text, size_t length, double* values, uint64_t capacity,
                        bool fast, std::string& scratch) {
  const char* p = text;
  const char* const end = text + length;
  uint64_t count = 0;
#ifdef TEXTMATRIX_HAVE_WINDOWS
  // Block by block of 64 characters, while another block and 64 characters
  // follow: the token starts come from the block's separators, so that the
  // tokens of a block do not wait for each other, and each token's number,
  // end included, from the masks of the block and the next.
  if (fast && length >= 128) {
    const char* block = text;
    masks here = masks_at(block);
    uint64_t previous_is_separator = 1;
    for (; end - block >= 128; block += 64) {
      const masks next = masks_at(block + 64);
      uint64_t starts = ~here.separators & (here.separators << 1 | previous_is_separator);
      previous_is_separator = here.separators >> 63;
      while (starts) {
        const int i = __builtin_ctzll(starts);
        starts &= starts - 1;
        const char* const token = block + i;
        double value;
        const int n = window_decimal(token, bits_from(here.separators, next.separators, i),
                                     bits_from(here.digits, next.digits, i), value);
        if (n > 0) {
          p = token + n;
        } else {
          parsed_number number;
          if (parse_plain_decimal(token, end, number)) {
            p = token + number.length;
            while (p != end && !is_separator(static_cast<unsigned char>(*p))) ++p;
          } else {
            p = token;
            while (p != end && !is_separator(static_cast<unsigned char>(*p))) ++p;
            number = parse_token(token, p, false, scratch);
          }
          value = number.value;
        }
        if (count < capacity) values[count] = value;
        ++count;
      }
      here = next;
    }
    // Past the last token read, or at the start of the next block, which
    // then begins a token or follows a separator.
    p = std::max(p, block);
  }
#endif
  for (;;) {
    while (p != end && is_separator(static_cast<unsigned char>(*p))) ++p;
    if (p == end) return count;
    const char* const token = p;
    parsed_number number;
    if (fast && parse_plain_decimal(token, end, number)) {
      p = token + number.length;
      while (p != end && !is_separator(static_cast<unsigned char>(*p))) ++p;
    } else {
      while (p != end && !is_separator(static_cast<unsigned char>(*p))) ++p;
      number = parse_token(token, p, false, scratch);
    }
    if (count < capacity) values[count] = number.value;
    ++count;
  }
}

// ---- chunks and pieces --------------------------------------------------------

// The characters a line is read in at a time: a 65536-byte buffer less its
// terminating NUL.
constexpr size_t chunk_limit = 65535;

// A piece is a stretch of the file that begins and ends at chunk
// boundaries, so it can be read without knowing what came before it. Every
// line feed ends a chunk; after the last one, chunks of exactly chunk_limit
// characters follow. Returns the length of the longest such piece of
// text[0, length), given that text begins at a chunk boundary.
size_t last_chunk_boundary(const char* text, size_t length) {
  size_t line_start = length;
  while (line_start > 0 && text[line_start - 1] != '\n') --line_start;
  return line_start + (length - line_start) / chunk_limit * chunk_limit;
}

// A piece in which every chunk boundary follows a line feed and nothing is
// skipped (no "#", no NUL) reads as one stretch of tokens. That is the rule
// for data files; the test costs a few library scans. A chunk of chunk_limit
// characters would cover one of the aligned windows of half that length, so
// if each window holds a line feed there is none.
bool is_plain(const char* text, size_t length) {
  if (std::memchr(text, '\0', length) || std::memchr(text, '#', length)) return false;
  constexpr size_t window = (chunk_limit + 1) / 2;
  for (size_t start = 0; start + window <= length; start += window)
    if (!std::memchr(text + start, '\n', window)) return false;
  return true;
}

// Calls on_stretch(text, length) for the readable stretches of a piece in
// order: chunk by chunk, skipping a chunk that begins with "#" and ending
// each chunk at its first NUL.
template <typename OnStretch>
void for_each_stretch(const char* text, size_t length, OnStretch on_stretch) {
  if (is_plain(text, length)) {
    on_stretch(text, length);
    return;
  }
  const char* p = text;
  const char* const end = text + length;
  while (p != end) {
    const size_t room = std::min(size_t(end - p), chunk_limit);
    const auto* line_feed = static_cast<const char*>(std::memchr(p, '\n', room));
    const char* const chunk_end = line_feed ? line_feed + 1 : p + room;
    if (*p != '#') {
      const auto* nul = static_cast<const char*>(std::memchr(p, '\0', size_t(chunk_end - p)));
      on_stretch(p, size_t((nul ? nul : chunk_end) - p));
    }
    p = chunk_end;
  }
}

uint64_t count_piece(const char* text, size_t length) {
  uint64_t count = 0;
  for_each_stretch(text, length, [&](const char* s, size_t n) { count += count_tokens(s, n); });
  return count;
}

uint64_t convert_piece(const char* text, size_t length, double* values, uint64_t capacity,
                       bool fast, std::string& scratch) {
  uint64_t count = 0;
  for_each_stretch(text, length, [&](const char* s, size_t n) {
    count += convert_tokens(s, n, values + std::min(count, capacity),
                            capacity - std::min(count, capacity), fast, scratch);
  });
  return count;
}

// ---- reading the file ---------------------------------------------------------

constexpr size_t piece_window = 256 * 1024;  // a piece is at most this long
constexpr size_t pieces_per_thread = 16;
constexpr size_t max_pieces_per_fill = 64;

struct piece {
  const char* text;
  size_t length;
};

enum class read_outcome { success, read_error, changed };

// Reads the file from where it stands to its end in fills of `fill_size`
// bytes and hands on_fill the pieces of each fill. The pieces depend on the
// text only: from each piece's start, the longest piece within the next
// piece_window bytes, or the rest of the file when that is shorter. A failed
// read is not taken for the end of the file: the numbers would be silently
// cut short.
template <typename OnFill>
read_outcome for_each_fill(FILE* file, size_t fill_size, OnFill on_fill) {
  const std::unique_ptr<char[]> buffer(new char[fill_size]);
  std::vector<piece> pieces;
  size_t filled = 0;
  for (;;) {
    filled += std::fread(buffer.get() + filled, 1, fill_size - filled, file);
    const bool at_end = filled < fill_size;
    pieces.clear();
    size_t start = 0;
    while (filled - start >= piece_window || (at_end && start < filled)) {
      const size_t rest = filled - start;
      const size_t length =
          rest >= piece_window ? last_chunk_boundary(buffer.get() + start, piece_window) : rest;
      pieces.push_back({buffer.get() + start, length});
      start += length;
    }
    if (!pieces.empty()) on_fill(pieces);
    filled -= start;
    std::memmove(buffer.get(), buffer.get() + start, filled);
    if (at_end) break;
  }
  return std::ferror(file) ? read_outcome::read_error : read_outcome::success;
}

// One thread reads two pieces at a time: a fill that the cache holds makes
// the kernel's copy and the parsing cheaper. More threads need more pieces.
size_t fill_size_for(int threads) {
  if (threads == 1) return piece_window * 2;
  return piece_window * std::min(max_pieces_per_fill, pieces_per_thread * size_t(threads));
}

// The counting pass: the number of tokens, and each piece's share of them.
read_outcome count_numbers(FILE* file, uint64_t& count, std::vector<uint32_t>& piece_counts,
                           int threads) {
  count = 0;
  piece_counts.clear();
  return for_each_fill(file, fill_size_for(threads), [&](const std::vector<piece>& pieces) {
    const size_t first = piece_counts.size();
    piece_counts.resize(first + pieces.size());
    parallel::run(long(pieces.size()), threads, [&](long i, int) {
      piece_counts[first + size_t(i)] = uint32_t(count_piece(pieces[size_t(i)].text, pieces[size_t(i)].length));
    });
    for (size_t i = first; i < piece_counts.size(); ++i) count += piece_counts[i];
  });
}

// The converting pass, one piece after the other: stores the values of the
// first count tokens. Should the file have grown since it was counted, the
// surplus tokens are dropped; should it have shrunk, the elements not
// reached keep their values.
read_outcome convert_numbers(FILE* file, double* values, uint64_t count) {
  const bool fast = fast_parsing_applies();
  std::string scratch;
  uint64_t k = 0;
  return for_each_fill(file, fill_size_for(1), [&](const std::vector<piece>& pieces) {
    for (const piece& p : pieces) k += convert_piece(p.text, p.length, values + k, count - k, fast, scratch);
    k = std::min(k, count);
  });
}

// The converting pass with the counting pass's piece counts: the pieces of
// each fill are converted side by side, each into its own place. When a piece
// no longer holds the tokens it was counted with, the file has changed
// between the passes and the outcome says so; values then holds a mixture.
read_outcome convert_numbers(FILE* file, double* values, const std::vector<uint32_t>& piece_counts,
                             int threads) {
  const bool fast = fast_parsing_applies();
  if (!fast) threads = 1;  // strtod's locale and rounding belong to the calling thread
  std::vector<std::string> scratch(static_cast<size_t>(threads));
  std::vector<uint64_t> offsets;
  std::vector<uint64_t> found;
  size_t next_piece = 0;
  uint64_t next_offset = 0;
  bool changed = false;
  const read_outcome outcome = for_each_fill(file, fill_size_for(threads), [&](const std::vector<piece>& pieces) {
    if (changed) return;
    if (piece_counts.size() - next_piece < pieces.size()) {
      changed = true;
      return;
    }
    offsets.resize(pieces.size());
    found.resize(pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
      offsets[i] = next_offset;
      next_offset += piece_counts[next_piece + i];
    }
    parallel::run(long(pieces.size()), threads, [&](long task, int worker) {
      const size_t i = size_t(task);
      found[i] = convert_piece(pieces[i].text, pieces[i].length, values + offsets[i],
                               piece_counts[next_piece + i], fast, scratch[size_t(worker)]);
    });
    for (size_t i = 0; i < pieces.size(); ++i) changed = changed || found[i] != piece_counts[next_piece + i];
    next_piece += pieces.size();
  });
  if (outcome != read_outcome::success) return outcome;
  return changed || next_piece != piece_counts.size() ? read_outcome::changed : read_outcome::success;
}

// ---- host side --------------------------------------------------------------

constexpr uint64_t max_rows = 2147483647;  // the host's 32-bit row count

// Threads pay for their start when each has a few pieces to read.
int threads_for_file(uint64_t bytes, int budget) {
  return parallel::threads_for(double(bytes), double(piece_window), long(bytes / piece_window) + 1, budget);
}

// The column of all numbers of the open file (read from its start), or null
// when it holds none.
mxArray* readmatrix(FILE* file, int threads) {
  uint64_t count = 0;
  std::vector<uint32_t> piece_counts;
  if (count_numbers(file, count, piece_counts, threads) != read_outcome::success)
    host::fail("Error reading input file");
  if (count == 0) {
    // On the process's standard error, not the host console: scripts that
    // capture the console output of a batch of loads are not disturbed.
    std::fputs("There seem to be no data in input file\n", stderr);
    return nullptr;
  }
  if (count > max_rows) host::fail("Too many numbers in input file");
  std::rewind(file);
  mxArray* column = mxCreateDoubleMatrix(mwSize(count), 1, mxREAL);
  double* values = mxGetPr(column);
  read_outcome outcome = convert_numbers(file, values, piece_counts, threads);
  if (outcome == read_outcome::changed) {
    // Read it again as one sequence, as far as the first count reaches.
    std::fill(values, values + count, 0.0);
    std::rewind(file);
    outcome = convert_numbers(file, values, count);
  }
  if (outcome != read_outcome::success) host::fail("Error reading input file");
  return column;
}

// Only a plain file can be read twice from its start and comes to an end; a
// device such as /dev/zero would be read forever, a pipe or terminal could
// not be read a second time, and a folder cannot be read at all.
bool is_regular_file(FILE* file, uint64_t& bytes) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  bytes = uint64_t(status.st_size);
  return true;
}

struct file_closer {
  void operator()(FILE* file) const { std::fclose(file); }
};

enum { IN_FILENAME = 0, IN_COUNT };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT) host::fail("filename must be given");
  const mxArray* name_array = prhs[IN_FILENAME];
  if (!mxIsChar(name_array)) host::fail("Input 1 must be a character array");

  // Room for every character even when the host hands them out as two bytes.
  // An empty name opens nothing, like any other name that names no file.
  std::vector<char> name(2 * host::all_elements(name_array) + 8, '\0');
  mxGetString(name_array, name.data(), mwSize(name.size()));

  const std::unique_ptr<FILE, file_closer> file(std::fopen(name.data(), "r"));
  if (!file) {
    mexPrintf("Error opening argument list file %s \n", name.data());
    host::fail("");
  }
  uint64_t bytes = 0;
  if (!is_regular_file(file.get(), bytes)) host::fail("Input file is not a regular file");
  plhs[0] = readmatrix(file.get(), threads_for_file(bytes, parallel::thread_budget()));
}
