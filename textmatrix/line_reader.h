// The module's earlier reader, kept as the reference that the block reader
// must match bit for bit: the file read line by line with fgets into a
// 65536-byte buffer, each chunk taken as a C string, every token converted
// by strtod. Used by the tests and the benchmarks only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace line_reader {

inline bool is_separator(char c) {
  return c == ';' || c == ',' || c == ' ' || c == '\n' || c == '\r';
}

// Calls on_token(token) for every token of the terminated chunk, in order;
// each token is terminated in place first. A chunk beginning with "#" has
// none.
template <typename OnToken>
void for_each_token(char* chunk, OnToken on_token) {
  if (chunk[0] == '#') return;
  char* p = chunk;
  for (;;) {
    while (*p != '\0' && is_separator(*p)) ++p;
    if (*p == '\0') return;
    char* token = p;
    while (*p != '\0' && !is_separator(*p)) ++p;
    const bool last = *p == '\0';
    *p = '\0';
    on_token(token);
    if (last) return;
    ++p;
  }
}

// The numbers strtod reads from the tokens of a stretch of text cut at the
// separators alone (no chunk rules): what the block converter must give.
inline std::vector<double> strtod_of_tokens(const std::string& text) {
  std::vector<double> numbers;
  std::string token;
  for (char c : text + " ") {
    if (!is_separator(c)) {
      token += c;
    } else if (!token.empty()) {
      numbers.push_back(std::strtod(token.c_str(), nullptr));
      token.clear();
    }
  }
  return numbers;
}

template <typename OnToken>
bool for_each_file_token(FILE* file, OnToken on_token) {
  std::vector<char> line(65536);
  while (std::fgets(line.data(), int(line.size()), file)) for_each_token(line.data(), on_token);
  return !std::ferror(file);
}

// Both passes, as the module made them: every number of the file.
inline std::vector<double> read_file(const char* name) {
  std::vector<double> values;
  FILE* file = std::fopen(name, "r");
  if (!file) return values;
  uint64_t count = 0;
  for_each_file_token(file, [&](char*) { ++count; });
  std::rewind(file);
  values.resize(count);
  uint64_t k = 0;
  for_each_file_token(file, [&](char* token) {
    if (k < count) values[k++] = std::strtod(token, nullptr);
  });
  std::fclose(file);
  return values;
}

}  // namespace line_reader
