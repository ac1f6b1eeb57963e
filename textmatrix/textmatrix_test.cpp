#include "textmatrix/textmatrix.cpp"
#include "textmatrix/line_reader.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

#include "host/sanitizer_builds.h"

namespace {

using namespace standin;

// A file with the given bytes, removed again at the end of the test.
class temp_file {
 public:
  explicit temp_file(const std::string& content) {
    char name[] = "/tmp/textmatrix_test_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp");
    close(fd);
    path_ = name;
    rewrite(content);
  }
  ~temp_file() { std::remove(path_.c_str()); }
  void rewrite(const std::string& content) const {
    std::ofstream(path_, std::ios::binary) << content;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The call, with what it wrote to the process's standard error.
struct captured {
  call_result result;
  std::string standard_error;
};

captured call_capturing_stderr(const std::vector<mxArray>& inputs, int nlhs = 1) {
  temp_file sink("");
  std::fflush(stderr);
  const int saved = dup(2);
  FILE* redirected = std::fopen(sink.path().c_str(), "w");
  dup2(fileno(redirected), 2);
  captured c{call(nlhs, inputs), ""};
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(redirected);
  std::ifstream in(sink.path(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  c.standard_error = text.str();
  return c;
}

std::vector<double> load(const std::string& content) {
  temp_file file(content);
  auto r = call(1, {char_array(file.path())});
  if (r.failed) throw std::runtime_error(r.error);
  EXPECT_EQ(r.out(0).columns(), 1u);
  return r.out(0).values();
}

// An independent reading of the format: the text cut into lines (each with
// its line feed), every line into pieces of at most 65535 bytes, each piece
// ending at its first NUL as a C string does; pieces starting with "#" are
// dropped, the rest split at the separators.
std::vector<double> reference(const std::string& text) {
  std::vector<std::string> chunks;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    for (size_t p = start; p < end; p += 65535)
      chunks.push_back(text.substr(p, std::min<size_t>(65535, end - p)));
    start = end;
  }
  std::vector<double> values;
  for (std::string chunk : chunks) {
    chunk = chunk.substr(0, chunk.find('\0'));
    if (!chunk.empty() && chunk[0] == '#') continue;
    std::string token;
    for (char c : chunk + ";") {
      if (std::string(";, \n\r").find(c) == std::string::npos) {
        token += c;
      } else if (!token.empty()) {
        values.push_back(std::strtod(token.c_str(), nullptr));
        token.clear();
      }
    }
  }
  return values;
}

TEST(TextmatrixFormat, SeparatorsCommentsAndPrefixes) {
  EXPECT_EQ(load("1 2 3\n4,5;6\n"), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(load("# 1 2\n3\n#4\n"), std::vector<double>{3});
  EXPECT_EQ(load(" # note 7\n"), (std::vector<double>{0, 0, 7}));   // not a comment
  EXPECT_EQ(load("1 #2 3\n"), (std::vector<double>{1, 0, 3}));
  EXPECT_EQ(load("1\t2\n"), std::vector<double>{1});                // tab is no separator
  EXPECT_EQ(load("\t5 \v6\f\n"), (std::vector<double>{5, 6}));      // leading white space
  EXPECT_EQ(load("1e3, -2.5e-1\n"), (std::vector<double>{1000, -0.25}));
  EXPECT_EQ(load("1\r\n2\r\n\r\n3"), (std::vector<double>{1, 2, 3}));  // no final line feed
  EXPECT_EQ(load("12abc abc 3.5.5 -.5e1x +7\n"), (std::vector<double>{12, 0, 3.5, -5, 7}));
  EXPECT_EQ(load(" ;, ,;1;;,,  ;\n\n\n"), std::vector<double>{1});
  auto special = load("0x10 inf -infinity 1e400 -1e-400 nan\n");
  ASSERT_EQ(special.size(), 6u);
  EXPECT_EQ(special[0], 16);
  EXPECT_EQ(special[1], INFINITY);
  EXPECT_EQ(special[2], -INFINITY);
  EXPECT_EQ(special[3], INFINITY);
  EXPECT_EQ(special[4], 0.0);
  EXPECT_TRUE(std::signbit(special[4]));
  EXPECT_TRUE(std::isnan(special[5]));
}

TEST(TextmatrixFormat, LongLinesArriveInChunksOfTheirOwn) {
  // 65533 blanks and "12345": the first chunk ends after "12".
  EXPECT_EQ(load(std::string(65533, ' ') + "12345\n6\n"), (std::vector<double>{12, 345, 6}));
  // The line feed itself fits: one chunk.
  EXPECT_EQ(load(std::string(65529, ' ') + "12345\n6\n"), (std::vector<double>{12345, 6}));
  // A "#" at the start of a later chunk skips that chunk only.
  EXPECT_EQ(load("1" + std::string(65534, ' ') + "#7 8\n9\n"), (std::vector<double>{1, 9}));
  // A "#" at the start of the line skips its first chunk only.
  EXPECT_EQ(load("#" + std::string(65534, ' ') + "7 8\n"), (std::vector<double>{7, 8}));
}

TEST(TextmatrixFormat, RandomTextAgreesWithIndependentReading) {
  std::mt19937 rng(11);
  const std::string alphabet = "0123456789.e-+ ,;\n\r\t#ax";
  for (int round = 0; round < 40; ++round) {
    std::string text;
    const size_t length = round % 5 == 0 ? 200000 : 2000;
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> percent(0, 999);
    for (size_t i = 0; i < length; ++i) {
      int roll = percent(rng);
      // Long stretches without a line feed, now and then a NUL byte.
      char c = alphabet[pick(rng)];
      if (round % 5 == 0 && c == '\n' && roll < 990) c = ' ';
      if (roll == 0) c = '\0';
      text += c;
    }
    auto want = reference(text);
    if (want.empty()) continue;
    auto got = load(text);
    ASSERT_EQ(got.size(), want.size()) << "round " << round;
    for (size_t k = 0; k < got.size(); ++k)
      ASSERT_EQ(std::memcmp(&got[k], &want[k], sizeof(double)), 0) << "round " << round << " " << k;
  }
}

TEST(TextmatrixFormat, ChangedFileBetweenPassesWritesOnlyTheCountedElements) {
  temp_file first("1 2 3\n"), grown("4 5 6 7 8\n"), shrunk("9\n");
  FILE* f = std::fopen(first.path().c_str(), "r");
  uint64_t count = 0;
  std::vector<uint32_t> piece_counts;
  ASSERT_EQ(count_numbers(f, count, piece_counts, 1), read_outcome::success);
  std::fclose(f);
  ASSERT_EQ(count, 3u);

  std::vector<double> values = {0, 0, 0, -1};  // one guard element
  f = std::fopen(grown.path().c_str(), "r");
  EXPECT_EQ(convert_numbers(f, values.data(), count), read_outcome::success);
  std::fclose(f);
  EXPECT_EQ(values, (std::vector<double>{4, 5, 6, -1}));

  f = std::fopen(shrunk.path().c_str(), "r");
  EXPECT_EQ(convert_numbers(f, values.data(), count), read_outcome::success);
  std::fclose(f);
  EXPECT_EQ(values, (std::vector<double>{9, 5, 6, -1}));

  // With the counting pass's pieces, a changed file is told, not misread.
  for (const temp_file* changed : {&grown, &shrunk}) {
    f = std::fopen(changed->path().c_str(), "r");
    EXPECT_EQ(convert_numbers(f, values.data(), piece_counts, 1), read_outcome::changed);
    std::fclose(f);
    EXPECT_EQ(values[3], -1);
  }
}

// ---- the fast parser against strtod ------------------------------------------

struct strtod_result {
  uint64_t bits;
  size_t length;
};

strtod_result by_strtod(const std::string& token) {
  char* stop = nullptr;
  const double value = std::strtod(token.c_str(), &stop);
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return {bits, size_t(stop - token.c_str())};
}

// The token as the reader hands it over: alone, or followed by what comes
// after it up to the end of its stretch of text (a separator first).
strtod_result by_parse_token(const std::string& token, const std::string& after = "") {
  const std::string text = token + after;
  std::string scratch;
  const parsed_number n = parse_token(text.data(), text.data() + text.size(), true, scratch);
  uint64_t bits;
  std::memcpy(&bits, &n.value, sizeof bits);
  return {bits, n.length};
}

// Decimal texts on both sides of, and exactly at, the midpoints between
// neighbouring doubles, where a parser that is not correctly rounded goes
// wrong. The midpoint of two doubles is exact in the x87 format.
std::vector<std::string> halfway_tokens(std::mt19937_64& rng, int n) {
  std::vector<std::string> tokens;
  if (std::numeric_limits<long double>::digits < 64) return tokens;
  std::uniform_int_distribution<uint64_t> any_bits(0, 0x7FEFFFFFFFFFFFFFu);
  for (int i = 0; i < n; ++i) {
    uint64_t bits = any_bits(rng);
    if (i % 4 == 0) bits &= 0x000FFFFFFFFFFFFFu;  // denormals
    double low;
    std::memcpy(&low, &bits, sizeof low);
    const long double middle = (static_cast<long double>(low) +
                                static_cast<long double>(std::nextafter(low, INFINITY))) / 2;
    char text[1300];
    std::snprintf(text, sizeof text, "%.1100Le", middle);
    std::string exact = text;  // all digits of the midpoint, then zeros
    const size_t e = exact.find('e');
    std::string digits = exact.substr(0, e), exponent = exact.substr(e);
    while (digits.back() == '0') digits.pop_back();
    tokens.push_back(digits + exponent);                  // exactly halfway
    tokens.push_back(digits + "0000000001" + exponent);   // just above
    std::string below = digits;                           // just below
    below.back() = char(below.back() - 1);
    tokens.push_back(below + "9999999" + exponent);
    tokens.push_back("-" + digits.substr(0, 2 + i % 40) + exponent);  // shortened
  }
  return tokens;
}

TEST(TextmatrixNumbers, FastPathGivesWhatStrtodGives) {
  if (sanitizer_builds::under_thread_sanitizer) GTEST_SKIP() << "no threads here";
  std::vector<std::string> tokens = {
      "1", "-1", "0", "-0", "-0.0e-5", "1e", "1e+", "1e-", "1E5", "1.5e", "1.5e+x", ".", "-", "-.",
      "-.e1", ".5", "5.", "-.5e1x", "1..5", "3.5.5", "--1", "-+1", "+-1", "+7", "+.5", "\t1",
      "\v-2", "\f.5", "\t\t 3", "0x", "0X", "0x1p3", "-0x10", "0x.8", "00x1", "0xg", "inf", "-Inf",
      "INFINITY", "-infinity", "infinit", "nan", "-NaN", "nan(123)", "nan(abc_1)", "-nan(x)",
      "nan(", "nan(1", "nan()", "1e400", "-1e400", "1e-400", "-1e-400", "4.9406564584124654e-324",
      "2.4703282292062327e-324", "2.4703282292062328e-324", "2.2250738585072011e-308",
      "2.2250738585072014e-308", "1.7976931348623157e308", "1.7976931348623158e308",
      "1.7976931348623159e308", "9007199254740993", "9007199254740992.5", "123456789012345678901",
      "0.1", "0.3", "1e22", "1e23", "1e-22", "1e-23", "8.5e-5", "1e99999999999999999999",
      "1e-99999999999999999999", "0e99999999999", "12abc", "abc", "", "1\x80", "\xff", "1,5",
      "1 5", "1\t5", "e5", "-e5", "1e0000000000000000000000000005", "0.000000000000000000000001e24",
      std::string("1\0" "5", 3), std::string("1e\0" "5", 4), "0.0000000000000000001",
      "-0.00000000000000000000012", "1234567.000000000000", "1234567.0000000000000",
      "0.12345678901234567890123", "12345678.5", "9007199254.740993", "9007199254.740992",
      "0.123456789012345e5", "7.12345678901234567"};
  tokens.push_back("1" + std::string(800, '0') + "e-800");
  tokens.push_back("0." + std::string(1000, '0') + "1e1001");
  tokens.push_back(std::string(30000, '9'));
  tokens.push_back("-" + std::string(400, '0') + "." + std::string(400, '0') + "17");

  std::mt19937_64 rng(7);
  for (const std::string& t : halfway_tokens(rng, 3000)) tokens.push_back(t);
  // Random texts of the characters numbers are made of, and some others.
  const std::string alphabet = "0123456789012345678901234567890123456789..--+eEeExXpPinfaINFAy()_ \t\v\f#";
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1), length(0, 24);
  for (int i = 0; i < 200000; ++i) {
    std::string t;
    for (size_t n = length(rng); n > 0; --n) t += alphabet[pick(rng)];
    tokens.push_back(t);
  }
  // Well-formed numbers of every length and exponent, and printed doubles.
  std::uniform_int_distribution<int> digits(1, 40), exponent(-360, 360), coin(0, 1);
  std::uniform_int_distribution<uint64_t> any_bits;
  for (int i = 0; i < 200000; ++i) {
    std::string t = coin(rng) ? "-" : "";
    for (int n = digits(rng); n > 0; --n) t += char('0' + rng() % 10);
    if (coin(rng)) t.insert(t.size() - std::min(t.size(), size_t(rng() % 3)), ".");
    if (coin(rng)) t += (coin(rng) ? "e" : "E") + std::to_string(exponent(rng));
    tokens.push_back(t);
    uint64_t bits = any_bits(rng);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    char text[64];
    std::snprintf(text, sizeof text, i % 3 == 0 ? "%.17g" : i % 3 == 1 ? "%.15g" : "%.6e", value);
    tokens.push_back(text);
  }

  // The shapes the block converter takes on its own ([-]I[.F], 1 to 8
  // digits I, at most 19 digits), around its limits.
  for (const char* t : {"9007199.254740992", "9007199.254740993", "900719.9254740992", "0.9007199254740993",
                        "0.9007199254740992", "12345678.12345678901", "12345678.123456789012",
                        "123456789.5", "1.234567890123456789", "0.000000000000000001", "-0.0", "-0.", "0.",
                        "-1.5", "--1.5", "-.5", "1.5.", "1.5-", "1e5", "1.5e5", "00000001.5", "-99999999"})
    tokens.push_back(t);
  std::uniform_int_distribution<int> integer_digits(0, 10), fraction_digits(-1, 21);
  for (int i = 0; i < 200000; ++i) {
    std::string t = coin(rng) ? "-" : "";
    for (int n = integer_digits(rng); n > 0; --n) t += char('0' + rng() % 10);
    const int f = fraction_digits(rng);
    if (f >= 0) t += ".";
    for (int n = f; n > 0; --n) t += char('0' + rng() % 10);
    tokens.push_back(t);
  }

  const std::vector<std::string> followers = {"", std::string(40, ' '), ";12345678901234567890123456789012345 78"};
  size_t fast = 0, common = 0, in_blocks = 0, windows = 0;
  for (const std::string& t : tokens) {
    const strtod_result want = by_strtod(t);
    for (const std::string& after : followers) {
      const strtod_result got = by_parse_token(t, after);
      ASSERT_EQ(got.bits, want.bits) << "token \"" << t << "\" before \"" << after << "\"";
      ASSERT_EQ(got.length, want.length) << "token \"" << t << "\" before \"" << after << "\"";
    }
    // The block converter, with the token at each place in a block, as it
    // cuts the stretch into tokens itself: against strtod on each token.
    if (t.find('\0') == std::string::npos) {
      for (const std::string& after : followers) {
        const std::string text = std::string(in_blocks++ % 64, ' ') + t + after + std::string(200, ' ');
        const std::vector<double> want = line_reader::strtod_of_tokens(text);
        std::vector<double> got(want.size() + 1);
        std::string scratch;
        ASSERT_EQ(convert_tokens(text.data(), text.size(), got.data(), got.size(), true, scratch), want.size())
            << "token \"" << t << "\" before \"" << after << "\"";
        for (size_t k = 0; k < want.size(); ++k)
          ASSERT_EQ(std::memcmp(&got[k], &want[k], sizeof(double)), 0)
              << "token \"" << t << "\" before \"" << after << "\", number " << k;
      }
    }
    parsed_number n;
    fast += parse_plain_decimal(t.data(), t.data() + t.size(), n);
#ifdef TEXTMATRIX_HAVE_WINDOWS
    const std::string spaced = t + std::string(130, ' ');
    const masks m = masks_at(spaced.data());
    windows += window_decimal(spaced.data(), m.separators, m.digits, n.value) > 0;
#endif
#ifdef TEXTMATRIX_HAVE_FAST_FLOAT
    const std::string padded = t + followers[1];
    common += parse_common_decimal(padded.data(), padded.data() + padded.size(), n.value) > 0;
#endif
  }
  // The comparison is worth something only if the fast path took most
  // (where the build found the fast parser at all).
#ifdef TEXTMATRIX_HAVE_FAST_FLOAT
  EXPECT_GT(fast, tokens.size() / 2);
  EXPECT_GT(common, tokens.size() / 10);
#else
  (void)common;
#endif
#ifdef TEXTMATRIX_HAVE_WINDOWS
  EXPECT_GT(windows, tokens.size() / 10);
#else
  (void)windows;
#endif
}

TEST(TextmatrixNumbers, OtherRoundingModesAreLeftToStrtod) {
  temp_file file("0.3 -0.3 1e-320 0.1\n");
  const std::vector<double> nearest = load("0.3 -0.3 1e-320 0.1\n");
  ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
  EXPECT_FALSE(fast_parsing_applies());
  std::vector<double> want;
  for (const char* t : {"0.3", "-0.3", "1e-320", "0.1"}) want.push_back(std::strtod(t, nullptr));
  auto got = call(1, {char_array(file.path())});
  std::fesetround(FE_TONEAREST);
  ASSERT_FALSE(got.failed);
  EXPECT_EQ(std::memcmp(got.out(0).values().data(), want.data(), 4 * sizeof(double)), 0);
  EXPECT_NE(nearest[0], want[0]);  // the mode made a difference
}

// ---- the block reader against the line reader ---------------------------------

// Text that puts every rule of the format to work, also at the places where
// the reader cuts the file into pieces and fills: long lines around
// multiples of the chunk length, "#" at the start of chunks, NUL bytes,
// Windows line ends, lines longer than a piece, and no final line feed.
// Without skips (no "#", no NUL) most pieces take the reader's plain road.
std::string hostile_text(std::mt19937_64& rng, size_t size, bool with_skips) {
  const std::vector<std::string> odd = {"inf", "-nan(7)", "0x1A", "+5", "\t7\f", "1e", ".", "1e400"};
  std::uniform_int_distribution<int> percent(0, 99);
  std::normal_distribution<double> normal;
  std::string text;
  auto number = [&] {
    char buf[40];
    const int kind = percent(rng);
    if (kind < 8) return odd[size_t(kind)];
    std::snprintf(buf, sizeof buf, kind < 50 ? "%.15g" : kind < 80 ? "%.17g" : "%.3f",
                  normal(rng) * std::pow(10.0, double(percent(rng) % 9) - 4));
    return std::string(buf);
  };
  auto separators = [&] {
    const int kind = percent(rng);
    return kind < 70 ? std::string(" ") : kind < 80 ? std::string(",") : kind < 90 ? std::string("; ,") : std::string("\r");
  };
  while (text.size() < size) {
    const int kind = percent(rng);
    std::string line;
    if (kind < 3) {  // a long line, a few characters either side of whole chunks
      const size_t chunks = with_skips ? size_t(1 + percent(rng) % 5) : 1;
      const size_t target = 65535 * chunks + size_t(percent(rng) % 7) - 3;
      while (line.size() < target) line += number() + separators();
      line.resize(target);
      if (with_skips && percent(rng) < 30) line[65535] = '#';
    } else if (kind < 4 && with_skips) {  // longer than a piece
      while (line.size() < 300000) line += number() + " ";
    } else if (kind < 8 && with_skips) {
      line = "# comment 1 2 3";
    } else {
      for (int k = percent(rng) % 9; k >= 0; --k) line += number() + separators();
    }
    if (with_skips && percent(rng) < 2) line[size_t(percent(rng)) % line.size()] = '\0';
    text += line + (percent(rng) < 10 ? "\r\n" : "\n");
  }
  if (percent(rng) < 50) text.pop_back();
  return text;
}

void expect_same_bits(const std::vector<double>& got, const std::vector<double>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t k = 0; k < got.size(); ++k)
    ASSERT_EQ(std::memcmp(&got[k], &want[k], sizeof(double)), 0) << what << " number " << k;
}

TEST(TextmatrixReader, LargeFilesGiveTheLineReadersNumbersForEveryThreadCount) {
  std::mt19937_64 rng(2024);
  for (int round = 0; round < 8; ++round) {
    // The last two are longer than the fills of up to three threads.
    temp_file file(hostile_text(rng, round < 4 ? 1500000 : round < 6 ? 3500000 : 13000000, round % 2 == 0));
    const std::vector<double> want = line_reader::read_file(file.path().c_str());
    for (int threads = 1; threads <= 3; ++threads) {
      const std::string what = "round " + std::to_string(round) + ", threads " + std::to_string(threads);
      FILE* f = std::fopen(file.path().c_str(), "r");
      uint64_t count = 0;
      std::vector<uint32_t> piece_counts;
      ASSERT_EQ(count_numbers(f, count, piece_counts, threads), read_outcome::success);
      ASSERT_EQ(count, want.size()) << what;
      ASSERT_GT(piece_counts.size(), 4u);
      std::rewind(f);
      std::vector<double> got(count);
      ASSERT_EQ(convert_numbers(f, got.data(), piece_counts, threads), read_outcome::success);
      std::fclose(f);
      expect_same_bits(got, want, what);
    }
    setenv("OMP_NUM_THREADS", "3", 1);
    auto r = call(1, {char_array(file.path())});
    unsetenv("OMP_NUM_THREADS");
    ASSERT_FALSE(r.failed) << r.error;
    expect_same_bits(r.out(0).values(), want, "gateway");
  }
}

TEST(TextmatrixReader, SmallFilesStartNoThreads) {
  EXPECT_EQ(threads_for_file(0, 8), 1);
  EXPECT_EQ(threads_for_file(piece_window, 8), 1);
  EXPECT_EQ(threads_for_file(100 * piece_window, 1), 1);
  EXPECT_EQ(threads_for_file(100 * piece_window, 3), 3);
}

// ---- through the stand-in host -------------------------------------------

TEST(TextmatrixGateway, FileWithoutNumbersLeavesTheOutputEmptyAndTellsStandardError) {
  const std::vector<std::string> contents = {"", "# only\n#comments\n", " ;,\r\n\n",
                                             "#" + std::string(65534, '1') + "\n"};
  for (const std::string& content : contents) {
    temp_file file(content);
    for (int nlhs : {0, 1}) {
      auto c = call_capturing_stderr({char_array(file.path())}, nlhs);
      EXPECT_FALSE(c.result.failed) << c.result.error;
      EXPECT_FALSE(c.result.outputs[0].has_value());
      EXPECT_EQ(c.result.printed, "");
      EXPECT_EQ(c.standard_error, "There seem to be no data in input file\n");
    }
  }
  temp_file data("5\n");
  auto c = call_capturing_stderr({char_array(data.path())});
  EXPECT_EQ(c.standard_error, "");
  EXPECT_EQ(c.result.out(0).values(), std::vector<double>{5});
}

TEST(TextmatrixGateway, MissingFilePrintsItsNameThenFailsWithEmptyMessage) {
  const std::string name = "/tmp/textmatrix_test_no_such_dir/file.txt";
  auto r = call(1, {char_array(name)});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.printed, "Error opening argument list file " + name + " \n");

  // An empty name names no file either.
  r = call(1, {char_array("")});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.printed, "Error opening argument list file  \n");

  // Any length of name is read whole.
  const std::string long_name = "/tmp/" + std::string(20000, 'n');
  r = call(1, {char_array(long_name)});
  EXPECT_EQ(r.printed, "Error opening argument list file " + long_name + " \n");
}

TEST(TextmatrixGateway, ArgumentMessages) {
  EXPECT_EQ(call(1, {}).error, "filename must be given");
  EXPECT_EQ(call(1, {scalar(3)}).error, "Input 1 must be a character array");
  EXPECT_EQ(call(1, {typed(mxUINT8_CLASS, {1, 4}, {47, 116, 109, 112})}).error,
            "Input 1 must be a character array");
  // These open, but would be read forever, or not at all.
  for (const char* name : {"/dev/zero", "/tmp", "/dev/null"})
    EXPECT_EQ(call(1, {char_array(name)}).error, "Input file is not a regular file") << name;
}

TEST(TextmatrixFormat, FailedReadIsNotTakenForTheEnd) {
  FILE* folder = std::fopen("/tmp", "r");  // opens, but every read fails
  ASSERT_NE(folder, nullptr);
  uint64_t count = 7;
  std::vector<uint32_t> piece_counts;
  EXPECT_EQ(count_numbers(folder, count, piece_counts, 2), read_outcome::read_error);
  double value = 0;
  EXPECT_EQ(convert_numbers(folder, &value, 1), read_outcome::read_error);
  EXPECT_EQ(convert_numbers(folder, &value, std::vector<uint32_t>{1}, 2), read_outcome::read_error);
  std::fclose(folder);
}

TEST(TextmatrixGateway, FurtherInputsAreIgnored) {
  temp_file file("1;2\n");
  auto r = call(1, {char_array(file.path()), scalar(7), char_array("x")});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 2u);
  EXPECT_EQ(r.out(0).values(), (std::vector<double>{1, 2}));
}

}  // namespace
