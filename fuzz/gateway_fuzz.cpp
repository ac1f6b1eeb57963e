// Fuzz target for one module's gateway, driven through the stand-in host.
//
// The build compiles this file once per module, with TOOLBOX_MODULE_SOURCE
// naming the module's source. The fuzzer's bytes are decoded into a call as
// a user could make it at the prompt: 0 to 6 inputs and 0 to 4 requested
// outputs; every input of some class (double, single, int32, logical, char,
// complex, sparse), some shape (0x0, 0xN, Nx0, 1x1, vectors, matrices, 3-D)
// and values (NaN, +-Inf, -0, denormals, huge, whole and fractional).
//
// A call must return or end with the host's error; anything else (a crash, a
// sanitizer report, a hang caught by -timeout, an escaping exception) is a
// defect. A request for more memory than a host has ends with the host's
// error, and so does the language allocator's failure on the real hosts.
#include TOOLBOX_MODULE_SOURCE

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

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

double decode_value(byte_reader& in) {
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

std::vector<size_t> decode_shape(byte_reader& in) {
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

std::vector<double> decode_values(byte_reader& in, size_t count) {
  std::vector<double> values(count);
  for (double& v : values) v = decode_value(in);
  return values;
}

mxArray decode_input(byte_reader& in) {
  const int kind = in.next() % 7;
  std::vector<size_t> dims = decode_shape(in);
  size_t count = 1;
  for (size_t d : dims) count *= d;
  switch (kind) {
    case 0: return standin::typed(mxDOUBLE_CLASS, dims, decode_values(in, count));
    case 1: return standin::typed(mxSINGLE_CLASS, dims, decode_values(in, count));
    case 2: {
      std::vector<double> v = decode_values(in, count);
      for (double& x : v) x = double(host::count_from_double(x));
      return standin::typed(mxINT32_CLASS, dims, v);
    }
    case 3: {
      std::vector<double> v(count);
      for (double& x : v) x = in.next() & 1;
      return standin::typed(mxLOGICAL_CLASS, dims, v);
    }
    case 4: {
      std::vector<double> v(count);
      for (double& x : v) x = 32 + in.next() % 95;  // printable characters
      return standin::typed(mxCHAR_CLASS, dims, v);
    }
    case 5: {
      std::vector<double> re = decode_values(in, count);
      std::vector<double> im = decode_values(in, count);
      mxArray a = standin::complex_matrix(dims[0], count / std::max<size_t>(dims[0], 1), re, im);
      a.dims = dims;
      return a;
    }
    default:
      return standin::sparse_matrix(dims[0], dims[1], decode_values(in, count / 2));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  standin::set_request_limit(size_t(64) << 20);
  byte_reader in(data, size);
  const int nrhs = in.next() % 7;
  const int nlhs = in.next() % 5;
  std::vector<mxArray> inputs;
  for (int i = 0; i < nrhs; ++i) inputs.push_back(decode_input(in));
  try {
    standin::call(nlhs, inputs);
  } catch (const std::bad_alloc&) {
    // The language allocator's failure passes to the host, which reports it.
  }
  return 0;
}
