// The fuzz targets' input decoder: the fuzzer's bytes become a call as a
// user could make it at the prompt, 0 to 6 inputs and 0 to 4 requested
// outputs; every input of some class (double, single, int32, logical, char,
// complex, sparse), some shape (0x0, 0xN, Nx0, 1x1, vectors, matrices, 3-D)
// and values (NaN, +-Inf, -0, denormals, huge, whole and fractional).
//
// The call is described host-free, so that every host can build it: the
// stand-in host in the fuzz targets, the Python host in its tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "host/host.h"

namespace fuzz {

enum class input_kind { real_double, single, int32, logical, character, complex, sparse };

struct decoded_input {
  input_kind kind = input_kind::real_double;
  std::vector<size_t> dims;
  std::vector<double> values;     // for sparse: the non-zero values only
  std::vector<double> imaginary;  // complex only
};

struct decoded_call {
  int nlhs = 0;
  std::vector<decoded_input> inputs;
};

class byte_reader {
 public:
  byte_reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }
  double next_raw_double() {
    uint8_t bytes[8];
    for (uint8_t& b : bytes) b = next();
    double v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

inline double decode_value(byte_reader& in) {
  switch (in.next() % 16) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return std::numeric_limits<double>::infinity();
    case 2: return -std::numeric_limits<double>::infinity();
    case 3: return -0.0;
    case 4: return 0.0;
    case 5: return std::numeric_limits<double>::denorm_min();
    case 6: return 1e308;
    case 7: return -1e308;
    case 8: return 2147483648.0;
    case 9: return -2147483649.0;
    case 10: return 1e6 + 1;
    case 11: return double(int8_t(in.next()));
    case 12: return in.next() / 256.0;
    case 13: return double(int8_t(in.next())) + in.next() / 256.0;
    case 14: return in.next_raw_double();
    default: return double(int16_t(in.next() | (in.next() << 8)));
  }
}

inline std::vector<size_t> decode_shape(byte_reader& in) {
  auto side = [&in](int most) { return size_t(in.next() % (most + 1)); };
  switch (in.next() % 8) {
    case 0: return {0, 0};
    case 1: return {0, side(16)};
    case 2: return {side(16), 0};
    case 3: return {1, 1};
    case 4: return {1, side(16)};
    case 5: return {side(16), 1};
    case 6: return {side(8), side(8)};
    default: return {side(4), side(4), side(4)};
  }
}

inline std::vector<double> decode_values(byte_reader& in, size_t count) {
  std::vector<double> values(count);
  for (double& v : values) v = decode_value(in);
  return values;
}

inline decoded_input decode_input(byte_reader& in) {
  decoded_input input;
  input.kind = input_kind(in.next() % 7);
  input.dims = decode_shape(in);
  size_t count = 1;
  for (size_t d : input.dims) count *= d;
  switch (input.kind) {
    case input_kind::real_double:
    case input_kind::single:
      input.values = decode_values(in, count);
      break;
    case input_kind::int32:
      input.values = decode_values(in, count);
      for (double& x : input.values) x = double(host::count_from_double(x));
      break;
    case input_kind::logical:
      input.values.resize(count);
      for (double& x : input.values) x = in.next() & 1;
      break;
    case input_kind::character:
      input.values.resize(count);
      for (double& x : input.values) x = 32 + in.next() % 95;  // printable characters
      break;
    case input_kind::complex:
      input.values = decode_values(in, count);
      input.imaginary = decode_values(in, count);
      break;
    case input_kind::sparse:
      input.values = decode_values(in, count / 2);
      break;
  }
  return input;
}

inline decoded_call decode_call(const uint8_t* data, size_t size) {
  byte_reader in(data, size);
  decoded_call call;
  const int nrhs = in.next() % 7;
  call.nlhs = in.next() % 5;
  for (int i = 0; i < nrhs; ++i) call.inputs.push_back(decode_input(in));
  return call;
}

}  // namespace fuzz
