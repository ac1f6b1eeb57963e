// Stand-in host: the host calls the modules make, implemented in plain C++ so
// that every gateway can be driven from a test without a real host.
//
// Arrays keep their elements in the element size of their class (8 bytes for
// double, 4 for int32, 2 for char, ...), so a gateway that reads a non-double
// array through mxGetPr reads past its storage and the sanitizers see it.
// mexErrMsgTxt throws and ends the call, as in the real hosts; everything a
// call obtained with mxMalloc or mxCreateDoubleMatrix and did not hand back is
// released when the call ends, also on an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host_calls.h"

// A host array. Tests build them with the helpers in namespace standin.
struct mxArray {
  mxClassID class_id = mxDOUBLE_CLASS;
  bool complex = false;
  bool sparse = false;
  std::vector<size_t> dims{0, 0};        // at least two
  std::vector<unsigned char> real_part;  // numel * element size bytes
  std::vector<unsigned char> imag_part;  // same size when complex

  size_t rows() const { return dims[0]; }
  size_t columns() const;  // product of all dimensions after the first
  size_t numel() const { return rows() * columns(); }
  // The elements of a double array, in storage order.
  std::vector<double> values() const;
};

namespace standin {

// Thrown by mexErrMsgTxt; the call ends with it.
struct host_error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ---- building inputs ------------------------------------------------------
mxArray matrix(size_t m, size_t n, const std::vector<double>& values = {});
mxArray row(const std::vector<double>& values);
mxArray column(const std::vector<double>& values);
mxArray scalar(double value);
mxArray empty(size_t m = 0, size_t n = 0);
// An array of any class and shape, elements converted from values (or zero).
mxArray typed(mxClassID class_id, const std::vector<size_t>& dims,
              const std::vector<double>& values = {});
mxArray complex_matrix(size_t m, size_t n, const std::vector<double>& re,
                       const std::vector<double>& im);
// A sparse double matrix: the host's compressed storage holds only the
// non-zero values, so its real part is as long as their number.
mxArray sparse_matrix(size_t m, size_t n, const std::vector<double>& nonzeros);
mxArray char_array(const std::string& text);

// The bits of every element of an array from mxCreateUninitNumericMatrix
// until the module writes it: a NaN whose payload no arithmetic produces.
constexpr uint64_t unset_element_bits = 0x7FF4D0E5C0FFEE00ull;

// ---- calling a gateway ----------------------------------------------------
using gateway = void (*)(int, mxArray*[], int, const mxArray*[]);

struct call_result {
  bool failed = false;
  std::string error;                          // the error text, when failed
  std::vector<std::optional<mxArray>> outputs;  // one per slot offered
  std::string printed;                        // console text
  std::vector<std::string> warnings;
  size_t released_on_exit = 0;  // working blocks the gateway left to the host
  const mxArray& out(size_t i) const;  // throws when the slot is empty
};

// Calls the gateway like a host: nlhs output slots are offered (at least one,
// as the real hosts do for the answer variable), inputs are passed read-only.
call_result call(gateway entry, int nlhs, const std::vector<mxArray>& inputs);
// The module's own gateway.
inline call_result call(int nlhs, const std::vector<mxArray>& inputs) {
  return call(&mexFunction, nlhs, inputs);
}

// Allocation failure on demand, for the next call only: the (k+1)-th
// mxMalloc, mxCalloc or mxCreateDoubleMatrix fails. The real hosts end the
// call with an error then (host_failure); null_pointer returns a null pointer
// instead, for gateways that test what they get.
enum class allocation_failure { host_error, null_pointer };
void fail_allocation_after(int k, allocation_failure how = allocation_failure::host_error);

// A host runs out of memory somewhere: a single mxMalloc, mxCalloc or
// mxCreateDoubleMatrix request above this many bytes ends the call with the
// host's error, as a real host's would when the memory is not there. The
// limit starts at 4 GiB.
void set_request_limit(size_t bytes);

}  // namespace standin
