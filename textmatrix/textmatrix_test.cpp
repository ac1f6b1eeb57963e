#include "textmatrix/textmatrix.cpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

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
  ASSERT_EQ(count_numbers(f, count), read_outcome::success);
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
  EXPECT_EQ(call(1, {char_array("")}).error, "Input 1 must not be empty");
  // These open, but would be read forever, or not at all.
  for (const char* name : {"/dev/zero", "/tmp", "/dev/null"})
    EXPECT_EQ(call(1, {char_array(name)}).error, "Input file is not a regular file") << name;
}

TEST(TextmatrixFormat, FailedReadIsNotTakenForTheEnd) {
  FILE* folder = std::fopen("/tmp", "r");  // opens, but every read fails
  ASSERT_NE(folder, nullptr);
  uint64_t count = 7;
  EXPECT_EQ(count_numbers(folder, count), read_outcome::read_error);
  double value = 0;
  EXPECT_EQ(convert_numbers(folder, &value, 1), read_outcome::read_error);
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
