// Stand-in host: see standin.h.
#include "host/standin.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <thread>

namespace {

size_t element_size(mxClassID class_id) {
  switch (class_id) {
    case mxLOGICAL_CLASS:
    case mxINT8_CLASS:
    case mxUINT8_CLASS:
      return 1;
    case mxCHAR_CLASS:
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
      return 2;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS:
      return 4;
    default:
      return 8;
  }
}

template <typename T>
void store_as(std::vector<unsigned char>& bytes, const std::vector<double>& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    T element = static_cast<T>(values[i]);
    std::memcpy(bytes.data() + i * sizeof(T), &element, sizeof(T));
  }
}

void store(mxClassID class_id, std::vector<unsigned char>& bytes,
           const std::vector<double>& values) {
  switch (class_id) {
    case mxLOGICAL_CLASS: store_as<uint8_t>(bytes, values); break;
    case mxINT8_CLASS: store_as<int8_t>(bytes, values); break;
    case mxUINT8_CLASS: store_as<uint8_t>(bytes, values); break;
    case mxCHAR_CLASS: store_as<char16_t>(bytes, values); break;
    case mxINT16_CLASS: store_as<int16_t>(bytes, values); break;
    case mxUINT16_CLASS: store_as<uint16_t>(bytes, values); break;
    case mxSINGLE_CLASS: store_as<float>(bytes, values); break;
    case mxINT32_CLASS: store_as<int32_t>(bytes, values); break;
    case mxUINT32_CLASS: store_as<uint32_t>(bytes, values); break;
    case mxINT64_CLASS: store_as<int64_t>(bytes, values); break;
    case mxUINT64_CLASS: store_as<uint64_t>(bytes, values); break;
    default: store_as<double>(bytes, values); break;
  }
}

// What one call has obtained from the host and not yet handed back.
struct call_context {
  std::set<void*> blocks;                  // mxMalloc / mxCalloc
  std::vector<std::unique_ptr<mxArray>> arrays;  // mxCreateDoubleMatrix
  std::string printed;
  std::vector<std::string> warnings;
  int allocations_until_failure = -1;
  standin::allocation_failure failure_mode = standin::allocation_failure::host_error;
  std::thread::id caller = std::this_thread::get_id();
};

call_context* current = nullptr;
int pending_failure_after = -1;
standin::allocation_failure pending_failure_mode = standin::allocation_failure::host_error;

size_t request_limit = size_t(1) << 32;

void check_request(size_t count, size_t size) {
  if (size && count > request_limit / size) throw standin::host_error("Out of memory");
}

// Only the thread that entered the gateway may call the host; a module that
// lets a worker thread do so is stopped on the spot, so no test can miss it.
void require_calling_thread() {
  if (current && current->caller != std::this_thread::get_id()) {
    std::fputs("stand-in host: host call from a worker thread\n", stderr);
    std::abort();
  }
}

call_context& context() {
  if (!current) throw std::logic_error("host call outside a gateway call");
  require_calling_thread();
  return *current;
}

// True when this allocation is the one asked to fail.
bool allocation_fails() {
  call_context& c = context();
  if (c.allocations_until_failure < 0) return false;
  if (c.allocations_until_failure-- > 0) return false;
  if (c.failure_mode == standin::allocation_failure::host_error)
    throw standin::host_error("Out of memory");
  return true;
}

}  // namespace

size_t mxArray::columns() const {
  size_t n = 1;
  for (size_t k = 1; k < dims.size(); ++k) n *= dims[k];
  return n;
}

std::vector<double> mxArray::values() const {
  if (class_id != mxDOUBLE_CLASS || sparse)
    throw std::logic_error("values() of an array that is not full double");
  std::vector<double> v(numel());
  if (!v.empty()) std::memcpy(v.data(), real_part.data(), v.size() * sizeof(double));
  return v;
}

size_t mxGetM(const mxArray* array) { return array->rows(); }
size_t mxGetN(const mxArray* array) { return array->columns(); }
size_t mxGetNumberOfElements(const mxArray* array) { return array->numel(); }
mwSize mxGetNumberOfDimensions(const mxArray* array) {
  return static_cast<mwSize>(array->dims.size());
}
double* mxGetPr(const mxArray* array) { return static_cast<double*>(mxGetData(array)); }
void* mxGetData(const mxArray* array) {
  auto& bytes = const_cast<mxArray*>(array)->real_part;
  return bytes.empty() ? nullptr : bytes.data();
}
mxClassID mxGetClassID(const mxArray* array) { return array->class_id; }
bool mxIsDouble(const mxArray* array) { return array->class_id == mxDOUBLE_CLASS; }
bool mxIsComplex(const mxArray* array) { return array->complex; }
bool mxIsSparse(const mxArray* array) { return array->sparse; }
bool mxIsChar(const mxArray* array) { return array->class_id == mxCHAR_CLASS; }
bool mxIsEmpty(const mxArray* array) { return array->numel() == 0; }

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag) {
  require_calling_thread();
  if (m < 0 || n < 0) throw standin::host_error("negative dimensions");
  check_request(size_t(m), sizeof(double));
  if (m > 0) check_request(size_t(n), size_t(m) * sizeof(double));
  if (allocation_fails()) return nullptr;
  auto array = std::make_unique<mxArray>(standin::matrix(size_t(m), size_t(n)));
  if (flag == mxCOMPLEX) {
    array->complex = true;
    array->imag_part.assign(array->real_part.size(), 0);
  }
  context().arrays.push_back(std::move(array));
  return context().arrays.back().get();
}

// Unset elements hold a NaN of their own, so a test that compares bits sees
// every element a module forgot to write.
mxArray* mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID class_id, mxComplexity flag) {
  if (class_id != mxDOUBLE_CLASS || flag != mxREAL)
    throw std::logic_error("standin: only real double arrays are made unset");
  if (m > size_t(INT64_MAX) || n > size_t(INT64_MAX)) throw standin::host_error("Out of memory");
  mxArray* array = mxCreateDoubleMatrix(mwSize(m), mwSize(n), mxREAL);
  if (array) {
    const uint64_t unset = standin::unset_element_bits;
    for (size_t i = 0; i < array->numel(); ++i)
      std::memcpy(array->real_part.data() + i * sizeof unset, &unset, sizeof unset);
  }
  return array;
}

int mxGetString(const mxArray* array, char* buffer, mwSize length) {
  if (length <= 0) return 1;
  if (array->class_id != mxCHAR_CLASS) {
    buffer[0] = '\0';
    return 1;
  }
  size_t n = array->numel();
  size_t copied = std::min(n, size_t(length - 1));
  for (size_t i = 0; i < copied; ++i) {
    char16_t c;
    std::memcpy(&c, array->real_part.data() + 2 * i, 2);
    buffer[i] = static_cast<char>(c);
  }
  buffer[copied] = '\0';
  return copied == n ? 0 : 1;
}

void* mxMalloc(size_t bytes) {
  require_calling_thread();
  check_request(bytes, 1);
  if (allocation_fails()) return nullptr;
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) throw standin::host_error("Out of memory");
  context().blocks.insert(p);
  return p;
}

void* mxCalloc(size_t count, size_t size) {
  check_request(count, size);
  void* p = mxMalloc(count * size);
  if (p) std::memset(p, 0, count * size);
  return p;
}

void mxFree(void* pointer) {
  if (!pointer) return;
  call_context& c = context();
  auto it = c.blocks.find(pointer);
  if (it == c.blocks.end()) throw std::logic_error("mxFree of a block the host did not give");
  c.blocks.erase(it);
  std::free(pointer);
}

void mexErrMsgTxt(const char* text) {
  require_calling_thread();
  throw standin::host_error(text);
}

void mexWarnMsgTxt(const char* text) { context().warnings.emplace_back(text); }

int mexPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string text(size_t(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(size_t(n));
    context().printed += text;
  }
  va_end(again);
  return n;
}

namespace standin {

mxArray typed(mxClassID class_id, const std::vector<size_t>& dims,
              const std::vector<double>& values) {
  mxArray a;
  a.class_id = class_id;
  a.dims = dims;
  while (a.dims.size() < 2) a.dims.push_back(1);
  size_t n = a.numel();
  if (!values.empty() && values.size() != n)
    throw std::logic_error("standin: value count does not match the shape");
  a.real_part.assign(n * element_size(class_id), 0);
  store(class_id, a.real_part, values);
  return a;
}

mxArray matrix(size_t m, size_t n, const std::vector<double>& values) {
  return typed(mxDOUBLE_CLASS, {m, n}, values);
}
mxArray row(const std::vector<double>& values) { return matrix(1, values.size(), values); }
mxArray column(const std::vector<double>& values) { return matrix(values.size(), 1, values); }
mxArray scalar(double value) { return matrix(1, 1, {value}); }
mxArray empty(size_t m, size_t n) { return matrix(m, n); }

mxArray complex_matrix(size_t m, size_t n, const std::vector<double>& re,
                       const std::vector<double>& im) {
  mxArray a = matrix(m, n, re);
  a.complex = true;
  a.imag_part.assign(a.real_part.size(), 0);
  store(mxDOUBLE_CLASS, a.imag_part, im);
  return a;
}

mxArray sparse_matrix(size_t m, size_t n, const std::vector<double>& nonzeros) {
  mxArray a;
  a.dims = {m, n};
  a.sparse = true;
  a.real_part.assign(nonzeros.size() * sizeof(double), 0);
  store(mxDOUBLE_CLASS, a.real_part, nonzeros);
  return a;
}

mxArray char_array(const std::string& text) {
  std::vector<double> codes(text.begin(), text.end());
  return typed(mxCHAR_CLASS, {1, text.size()}, codes);
}

const mxArray& call_result::out(size_t i) const {
  if (i >= outputs.size() || !outputs[i]) throw std::logic_error("output slot is empty");
  return *outputs[i];
}

void set_request_limit(size_t bytes) { request_limit = bytes; }

void fail_allocation_after(int k, allocation_failure how) {
  pending_failure_after = k;
  pending_failure_mode = how;
}

call_result call(gateway entry, int nlhs, const std::vector<mxArray>& inputs) {
  call_context ctx;
  ctx.allocations_until_failure = pending_failure_after;
  ctx.failure_mode = pending_failure_mode;
  pending_failure_after = -1;
  current = &ctx;

  std::vector<const mxArray*> prhs;
  for (const mxArray& a : inputs) prhs.push_back(&a);
  std::vector<mxArray*> plhs(size_t(std::max(nlhs, 1)), nullptr);

  call_result result;
  try {
    entry(nlhs, plhs.data(), int(prhs.size()), prhs.data());
  } catch (const host_error& e) {
    result.failed = true;
    result.error = e.what();
  }
  current = nullptr;

  // Outputs pass to the caller; whatever else the call obtained, the host
  // releases now (for an error: everything, outputs included).
  for (mxArray* slot : plhs) {
    if (result.failed || !slot) {
      result.outputs.emplace_back(std::nullopt);
      continue;
    }
    result.outputs.emplace_back(*slot);
  }
  result.released_on_exit = ctx.blocks.size();
  for (void* p : ctx.blocks) std::free(p);
  result.printed = std::move(ctx.printed);
  result.warnings = std::move(ctx.warnings);
  return result;
}

}  // namespace standin
