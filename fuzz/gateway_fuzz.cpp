// Fuzz target for one module's gateway, driven through the stand-in host.
//
// The build compiles this file once per module, with TOOLBOX_MODULE_SOURCE
// naming the module's source. The fuzzer's bytes are decoded into a call as
// a user could make it at the prompt (see decoder.h).
//
// A call must return or end with the host's error; anything else (a crash, a
// sanitizer report, a hang caught by -timeout, an escaping exception) is a
// defect. A request for more memory than a host has ends with the host's
// error, and so does the language allocator's failure on the real hosts.
#include TOOLBOX_MODULE_SOURCE

// The most a call may ask of the host, which bounds the work of a call with
// the size of its results. Modules whose every result element costs a whole
// computation (crossmap: a draw and a forecast of every row) are given less,
// so that a valid but long call does not pass for a hang.
#ifndef TOOLBOX_FUZZ_REQUEST_LIMIT
#define TOOLBOX_FUZZ_REQUEST_LIMIT (size_t(64) << 20)
#endif

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "fuzz/decoder.h"

namespace {

mxArray host_array(const fuzz::decoded_input& input) {
  const std::vector<size_t>& dims = input.dims;
  switch (input.kind) {
    case fuzz::input_kind::real_double: return standin::typed(mxDOUBLE_CLASS, dims, input.values);
    case fuzz::input_kind::single: return standin::typed(mxSINGLE_CLASS, dims, input.values);
    case fuzz::input_kind::int32: return standin::typed(mxINT32_CLASS, dims, input.values);
    case fuzz::input_kind::logical: return standin::typed(mxLOGICAL_CLASS, dims, input.values);
    case fuzz::input_kind::character: return standin::typed(mxCHAR_CLASS, dims, input.values);
    case fuzz::input_kind::complex: {
      const size_t count = input.values.size();
      mxArray a = standin::complex_matrix(dims[0], count / std::max<size_t>(dims[0], 1),
                                          input.values, input.imaginary);
      a.dims = dims;
      return a;
    }
    case fuzz::input_kind::sparse:
      return standin::sparse_matrix(dims[0], dims[1], input.values);
  }
  return standin::empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  standin::set_request_limit(TOOLBOX_FUZZ_REQUEST_LIMIT);
  const fuzz::decoded_call call = fuzz::decode_call(data, size);
  std::vector<mxArray> inputs;
  for (const fuzz::decoded_input& input : call.inputs) inputs.push_back(host_array(input));
  try {
    standin::call(call.nlhs, inputs);
  } catch (const std::bad_alloc&) {
    // The language allocator's failure passes to the host, which reports it.
  }
  return 0;
}
