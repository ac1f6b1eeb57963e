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
// Lines are read into a buffer of 65536 bytes; a longer line arrives in
// several chunks, and each chunk is treated as a line of its own: a "#" at the
// start of a chunk skips that chunk, and a token across a chunk boundary
// becomes two tokens. Files written in this format rely on that, so it stays.
//
// The file is read twice: once to count the tokens, so that the output is
// created at its final size, and once to convert them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <vector>

#include "host/host.h"

namespace {

constexpr int line_buffer_size = 65536;

// The five separators, looked up by byte value.
struct separator_table {
  bool is[256] = {};
  separator_table() {
    for (unsigned char c : {';', ',', ' ', '\n', '\r'}) is[c] = true;
  }
};
const separator_table separators;

// Calls on_token(token) for every token of the terminated chunk, in order;
// each token is terminated in place first. A chunk beginning with "#" has
// none.
template <typename OnToken>
void for_each_token(char* chunk, OnToken on_token) {
  if (chunk[0] == '#') return;
  char* p = chunk;
  for (;;) {
    while (*p != '\0' && separators.is[static_cast<unsigned char>(*p)]) ++p;
    if (*p == '\0') return;
    char* token = p;
    while (*p != '\0' && !separators.is[static_cast<unsigned char>(*p)]) ++p;
    const bool last = *p == '\0';
    *p = '\0';
    on_token(token);
    if (last) return;
    ++p;
  }
}

enum class read_outcome { success, read_error };

// Reads the file from where it stands to its end, chunk by chunk, and hands
// every chunk to on_chunk. A failed read is not taken for the end of the
// file: the numbers would be silently cut short.
template <typename OnChunk>
read_outcome for_each_chunk(FILE* file, OnChunk on_chunk) {
  char line[line_buffer_size];
  while (std::fgets(line, line_buffer_size, file)) on_chunk(line);
  return std::ferror(file) ? read_outcome::read_error : read_outcome::success;
}

// The counting pass.
read_outcome count_numbers(FILE* file, uint64_t& count) {
  count = 0;
  return for_each_chunk(file, [&](char* chunk) { for_each_token(chunk, [&](char*) { ++count; }); });
}

// The converting pass: stores the values of the first count tokens. Should
// the file have grown since it was counted, the surplus tokens are dropped;
// should it have shrunk, the elements not reached keep their values.
read_outcome convert_numbers(FILE* file, double* values, uint64_t count) {
  uint64_t k = 0;
  return for_each_chunk(file, [&](char* chunk) {
    for_each_token(chunk, [&](char* token) {
      if (k < count) values[k++] = std::strtod(token, nullptr);
    });
  });
}

// ---- host side --------------------------------------------------------------

constexpr uint64_t max_rows = 2147483647;  // the host's 32-bit row count

// The column of all numbers of the open file (read from its start), or null
// when it holds none.
mxArray* readmatrix(FILE* file) {
  uint64_t count = 0;
  if (count_numbers(file, count) != read_outcome::success) host::fail("Error reading input file");
  if (count == 0) {
    // On the process's standard error, not the host console: scripts that
    // capture the console output of a batch of loads are not disturbed.
    std::fputs("There seem to be no data in input file\n", stderr);
    return nullptr;
  }
  if (count > max_rows) host::fail("Too many numbers in input file");
  std::rewind(file);
  mxArray* column = mxCreateDoubleMatrix(mwSize(count), 1, mxREAL);
  if (convert_numbers(file, mxGetPr(column), count) != read_outcome::success)
    host::fail("Error reading input file");
  return column;
}

// Only a plain file can be read twice from its start and comes to an end; a
// device such as /dev/zero would be read forever, a pipe or terminal could
// not be read a second time, and a folder cannot be read at all.
bool is_regular_file(FILE* file) {
  struct stat status;
  return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
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
  if (host::all_elements(name_array) == 0) host::fail(host::empty_input_message(1));

  // Room for every character even when the host hands them out as two bytes.
  std::vector<char> name(2 * host::all_elements(name_array) + 8, '\0');
  mxGetString(name_array, name.data(), mwSize(name.size()));

  const std::unique_ptr<FILE, file_closer> file(std::fopen(name.data(), "r"));
  if (!file) {
    mexPrintf("Error opening argument list file %s \n", name.data());
    host::fail("");
  }
  if (!is_regular_file(file.get())) host::fail("Input file is not a regular file");
  plhs[0] = readmatrix(file.get());
}
