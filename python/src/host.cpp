// The Python host: every module's gateway, called with NumPy arrays
// presented as host arrays, in one extension.
//
// The gateways are the same code that serves Octave and MATLAB; this file
// only implements the host calls they make (see python/include/mex.h) and the
// conventions of Python callers: which way a 1-D array stands, outputs as
// float64 arrays or floats, the host's errors as orbitkit.Error, its printed
// lines on sys.stdout and its warnings through the warnings module.
//
// A module computes with the GIL released, so other Python threads run
// meanwhile; host calls that need Python take it back for their moment. Each
// module has a lock of its own: some keep state between calls (twistgen's
// seed, the interpolators' last interval, termset's working list).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <iterator>
#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/big_buffer.h"
#include "host/parallel.h"
#include "mex.h"

namespace py = pybind11;

namespace {

// The storage of an output, zeroed as the real hosts give it unless the
// module fills every element itself. A large one is a block of those the
// modules' working arrays live in (host/big_buffer.h), in huge pages: once
// the caller has dropped a result of the same size, the next call takes its
// pages over warm instead of having fresh ones mapped and faulted in, which
// in a loop calling a module between other NumPy work can cost more than
// the module's own work. Smaller blocks come from the heap.
struct output_memory {
  double* data = nullptr;
  size_t block_bytes = 0;  // of a kept block; 0 for the heap's memory
};

output_memory allocate_output(size_t bytes, bool cleared) {
  output_memory memory;
  if (bytes < big_buffer::smallest_kept) {
    const size_t size = std::max<size_t>(bytes, sizeof(double));
    void* heap = cleared ? std::calloc(size, 1) : std::malloc(size);
    if (!heap) throw std::bad_alloc();
    memory.data = static_cast<double*>(heap);
    return memory;
  }
  memory.block_bytes = big_buffer::block_bytes(bytes);
  memory.data = static_cast<double*>(big_buffer::shared_cache().take(memory.block_bytes));
  if (cleared) std::memset(memory.data, 0, bytes);
  return memory;
}

void release_output(const output_memory& memory) {
  if (memory.block_bytes)
    big_buffer::shared_cache().give_back(memory.data, memory.block_bytes);
  else
    std::free(memory.data);
}

}  // namespace

// A host array: either a view of a NumPy array's column-major float64 data,
// or the characters of a file name, or an output the host allocated.
struct mxArray {
  mxClassID class_id = mxDOUBLE_CLASS;
  bool complex = false;
  size_t rows = 0;
  size_t columns = 0;  // product of all sides after the first
  mwSize dimensions = 2;
  double* data = nullptr;
  double scalar = 0;  // storage of a 1 x 1 input made from a Python number
  std::string text;   // a character array's characters
  output_memory owned;  // an output's storage
};

namespace {

// What one call has obtained from the host and not yet handed back. Worker
// threads of a module never call the host, so the calling thread's context
// is the call's.
struct call_context {
  std::vector<void*> blocks;
  std::vector<std::unique_ptr<mxArray>> arrays;
  bool quiet = false;  // printed lines are dropped (verbose=False)
};
thread_local call_context* current = nullptr;

call_context& context() {
  if (!current) std::abort();  // a host call outside a gateway call
  return *current;
}

// Thrown by the host's error call; the call ends with it.
struct host_error {
  std::string message;
};

// The largest single request the host grants. Unbounded but for the tests
// that call with hostile sizes: a real host fails such a request only when
// the memory is not there, which a test must not wait for.
std::atomic<size_t> request_limit{SIZE_MAX};

void check_request(size_t count, size_t size) {
  if (size && count > request_limit / size) throw std::bad_alloc();
}

void* allocate_block(void* block) {
  if (!block) throw std::bad_alloc();
  context().blocks.push_back(block);
  return block;
}

}  // namespace

size_t mxGetM(const mxArray* array) { return array->rows; }
size_t mxGetN(const mxArray* array) { return array->columns; }
size_t mxGetNumberOfElements(const mxArray* array) { return array->rows * array->columns; }
mwSize mxGetNumberOfDimensions(const mxArray* array) { return array->dimensions; }
double* mxGetPr(const mxArray* array) { return array->data; }
void* mxGetData(const mxArray* array) { return array->data; }
mxClassID mxGetClassID(const mxArray* array) { return array->class_id; }
bool mxIsDouble(const mxArray* array) { return array->class_id == mxDOUBLE_CLASS; }
bool mxIsComplex(const mxArray* array) { return array->complex; }
bool mxIsSparse(const mxArray*) { return false; }
bool mxIsChar(const mxArray* array) { return array->class_id == mxCHAR_CLASS; }
bool mxIsEmpty(const mxArray* array) { return mxGetNumberOfElements(array) == 0; }

namespace {

mxArray* create_double_matrix(size_t m, size_t n, bool cleared) {
  check_request(m, sizeof(double));
  if (m > 0) check_request(n, m * sizeof(double));
  auto array = std::make_unique<mxArray>();
  array->rows = m;
  array->columns = n;
  array->owned = allocate_output(m * n * sizeof(double), cleared);
  array->data = array->owned.data;
  context().arrays.push_back(std::move(array));
  return context().arrays.back().get();
}

}  // namespace

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity) {
  if (m < 0 || n < 0) throw std::bad_alloc();
  return create_double_matrix(size_t(m), size_t(n), true);
}

mxArray* mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID class_id, mxComplexity flag) {
  if (class_id != mxDOUBLE_CLASS || flag != mxREAL)
    throw std::logic_error("only real double arrays are made unset");
  return create_double_matrix(m, n, false);
}

int mxGetString(const mxArray* array, char* buffer, mwSize length) {
  if (length <= 0) return 1;
  if (array->class_id != mxCHAR_CLASS) {
    buffer[0] = '\0';
    return 1;
  }
  const size_t copied = std::min(array->text.size(), size_t(length - 1));
  std::memcpy(buffer, array->text.data(), copied);
  buffer[copied] = '\0';
  return copied == array->text.size() ? 0 : 1;
}

void* mxMalloc(size_t bytes) {
  check_request(bytes, 1);
  return allocate_block(std::malloc(bytes ? bytes : 1));
}
void* mxCalloc(size_t count, size_t size) {
  check_request(count, size);
  return allocate_block(std::calloc(count ? count : 1, size ? size : 1));
}

void mxFree(void* pointer) {
  if (!pointer) return;
  std::vector<void*>& blocks = context().blocks;
  auto it = std::find(blocks.rbegin(), blocks.rend(), pointer);
  if (it == blocks.rend()) std::abort();  // not a block of this call
  blocks.erase(std::next(it).base());
  std::free(pointer);
}

void mexErrMsgTxt(const char* text) { throw host_error{text}; }

// A Python exception raised here (a warning filter set to "error", a closed
// stream) ends the module's call and reaches the caller as it is.
// The warning is attributed to the caller of the package's function.
void mexWarnMsgTxt(const char* text) {
  py::gil_scoped_acquire gil;
  if (PyErr_WarnEx(PyExc_RuntimeWarning, text, 2) != 0) throw py::error_already_set();
}

namespace {

// Bytes that are not UTF-8 (a file name in another encoding) come through
// as Python shows such file names, rather than failing the call.
void write_to(const char* stream_name, const char* text, size_t size) {
  py::gil_scoped_acquire gil;
  py::object stream = py::module_::import("sys").attr(stream_name);
  auto line = py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF8(text, py::ssize_t(size), "surrogateescape"));
  if (!line) throw py::error_already_set();
  stream.attr("write")(line);
}

}  // namespace

int mexPrintf(const char* format, ...) {
  if (current && current->quiet) return 0;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string text(size_t(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    write_to("stdout", text.data(), size_t(n));
  }
  va_end(again);
  return n;
}

std::FILE* python_host_stderr() {
  static std::FILE* const stream = [] {
    cookie_io_functions_t functions{};
    functions.write = [](void*, const char* text, size_t size) -> ssize_t {
      try {
        write_to("stderr", text, size);
      } catch (const py::error_already_set&) {
        // The stream refused the line; the module's call goes on without it.
      }
      return ssize_t(size);
    };
    std::FILE* file = fopencookie(nullptr, "w", functions);
    if (file) std::setvbuf(file, nullptr, _IONBF, 0);
    return file ? file : ::stderr;
  }();
  return stream;
}

// ---- the modules -------------------------------------------------------------

// The build compiles each module's source with its gateway renamed to
// orbitkit_<name>_gateway, so that all of them fit into this one extension.
extern "C" {
void orbitkit_gridmass_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_laginfo_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_qspectrum_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_delaymatrix_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_histinfo_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_knotinterp_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_slopeinterp_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_smoothwin_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_gainrider_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_foldmap_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_peakiter_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_baker_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_twistgen_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_termset_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_textmatrix_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_neardist_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_corrsum_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_embeddim_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_lyapcurve_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_permen_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_dfa_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_rqa_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_sampen_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_apen_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_simplex_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_crossmap_gateway(int, mxArray*[], int, const mxArray*[]);
void orbitkit_smap_gateway(int, mxArray*[], int, const mxArray*[]);
}

namespace {

using gateway = void (*)(int, mxArray*[], int, const mxArray*[]);

// No input position of a module: its 1-D inputs stand as rows.
constexpr int none = -1;

struct module {
  const char* name;
  gateway entry;
  int outputs;
  // 1-D arrays at positions below this stand as columns of samples (a signal,
  // a series, knots and their values), elsewhere as rows, the way a vector
  // of parameters is written at the host's prompt.
  int sample_inputs;
  // When the input at this position is 1-D, a vector result is 1-D too.
  int shape_from;
  bool takes_file_name;
  std::mutex lock;
};

module modules[] = {
    {"gridmass", orbitkit_gridmass_gateway, 3, 1, 0, false, {}},
    {"laginfo", orbitkit_laginfo_gateway, 1, 1, 0, false, {}},
    {"qspectrum", orbitkit_qspectrum_gateway, 3, 0, none, false, {}},
    {"delaymatrix", orbitkit_delaymatrix_gateway, 2, 1, 0, false, {}},
    {"histinfo", orbitkit_histinfo_gateway, 1, 0, none, false, {}},
    {"knotinterp", orbitkit_knotinterp_gateway, 1, 3, 2, false, {}},
    {"slopeinterp", orbitkit_slopeinterp_gateway, 1, 3, 2, false, {}},
    {"smoothwin", orbitkit_smoothwin_gateway, 1, 1, 0, false, {}},
    {"gainrider", orbitkit_gainrider_gateway, 1, 1, 0, false, {}},
    {"foldmap", orbitkit_foldmap_gateway, 1, 0, none, false, {}},
    {"peakiter", orbitkit_peakiter_gateway, 1, 0, none, false, {}},
    {"baker", orbitkit_baker_gateway, 1, 0, none, false, {}},
    {"twistgen", orbitkit_twistgen_gateway, 1, 0, none, false, {}},
    {"termset", orbitkit_termset_gateway, 1, 0, none, false, {}},
    {"textmatrix", orbitkit_textmatrix_gateway, 1, 0, none, true, {}},
    {"neardist", orbitkit_neardist_gateway, 2, 1, none, false, {}},
    {"corrsum", orbitkit_corrsum_gateway, 2, 1, 1, false, {}},
    {"embeddim", orbitkit_embeddim_gateway, 3, 1, none, false, {}},
    {"lyapcurve", orbitkit_lyapcurve_gateway, 2, 1, none, false, {}},
    {"permen", orbitkit_permen_gateway, 3, 1, none, false, {}},
    {"dfa", orbitkit_dfa_gateway, 1, 1, none, false, {}},
    {"rqa", orbitkit_rqa_gateway, 3, 1, none, false, {}},
    {"sampen", orbitkit_sampen_gateway, 3, 1, none, false, {}},
    {"apen", orbitkit_apen_gateway, 1, 1, none, false, {}},
    {"simplex", orbitkit_simplex_gateway, 2, 1, none, false, {}},
    {"crossmap", orbitkit_crossmap_gateway, 1, 2, none, false, {}},
    {"smap", orbitkit_smap_gateway, 3, 1, none, false, {}},
};

PyObject* error_type = nullptr;

// One input as the gateway sees it, and what keeps its data alive.
struct input {
  mxArray array;
  py::object owner;
  bool one_dimensional = false;
};

// Kept for the life of the process: a reference released at exit would be
// released after the interpreter is gone.
py::handle numpy_asarray() {
  static const py::handle asarray = 
      py::object(py::module_::import("numpy").attr("asarray")).release();
  return asarray;
}

py::handle numpy_copyto() {
  static const py::handle copyto =
      py::object(py::module_::import("numpy").attr("copyto")).release();
  return copyto;
}

// What frees an output's storage when the last array made over it goes.
py::capsule owner_of(const output_memory& memory) {
  std::unique_ptr<output_memory> held;
  try {
    held.reset(new output_memory(memory));
  } catch (...) {
    release_output(memory);
    throw;
  }
  py::capsule owner(held.get(), [](void* kept) {
    release_output(*static_cast<output_memory*>(kept));
    delete static_cast<output_memory*>(kept);
  });
  held.release();
  return owner;
}

// Numbers in another layout or type, copied into the host's. A large copy
// goes into a block kept between calls, as the outputs do: a script that
// passes the same row-major points call after call then has them copied into
// warm memory, not into pages mapped afresh every time. Other kinds (text,
// objects) are left to NumPy's own conversion and its messages.
py::array in_host_layout(const py::array& values) {
  const char kind = values.dtype().kind();
  const bool numbers = kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f';
  const size_t count = size_t(values.size());
  if (!numbers || count < big_buffer::smallest_kept / sizeof(double))
    return numpy_asarray()(values, py::dtype::of<double>(), py::arg("order") = "F");
  const std::vector<py::ssize_t> shape(values.shape(), values.shape() + values.ndim());
  const output_memory memory = allocate_output(count * sizeof(double), false);
  py::array_t<double, py::array::f_style> copy(shape, memory.data, owner_of(memory));
  numpy_copyto()(copy, values, py::arg("casting") = "unsafe");
  return copy;
}

[[noreturn]] void refuse_input(const module& m, size_t position, const char* why) {
  throw py::type_error(std::string(m.name) + ": input " + std::to_string(position + 1) +
                       " is not an array of numbers (" + why + ")");
}

// One array in the host's layout: its shape, and its values as float64 in
// column-major order. Data already laid out so is used in place.
void view_array(input& in, py::array_t<double, py::array::f_style> values, bool as_column) {
  const py::ssize_t ndim = values.ndim();
  in.one_dimensional = ndim == 1;
  if (ndim == 0) {
    in.array.rows = in.array.columns = 1;
  } else if (ndim == 1) {
    const size_t n = size_t(values.shape(0));
    in.array.rows = as_column ? n : 1;
    in.array.columns = as_column ? 1 : n;
  } else {
    in.array.rows = size_t(values.shape(0));
    in.array.columns = 1;
    for (py::ssize_t k = 1; k < ndim; ++k) in.array.columns *= size_t(values.shape(k));
    in.array.dimensions = mwSize(ndim);
  }
  // The gateways only read their inputs, so read-only arrays serve too.
  in.array.data = const_cast<double*>(values.data());
  in.owner = std::move(values);
}

void read_input(input& in, const module& m, size_t position, py::handle object) {
  if (m.takes_file_name && position == 0 &&
      (py::isinstance<py::str>(object) || py::isinstance<py::bytes>(object) ||
       py::hasattr(object, "__fspath__"))) {
    py::bytes name = py::module_::import("os").attr("fsencode")(object);
    in.array.class_id = mxCHAR_CLASS;
    in.array.text = std::string(name);
    in.array.rows = 1;
    in.array.columns = in.array.text.size();
    return;
  }
  // Plain numbers, the commonest scalar inputs, need no array.
  if (PyFloat_CheckExact(object.ptr()) || PyLong_CheckExact(object.ptr())) {
    const double value = PyFloat_AsDouble(object.ptr());
    if (value == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      refuse_input(m, position, "out of the float64 range");
    }
    in.array.rows = in.array.columns = 1;
    in.array.scalar = value;
    in.array.data = &in.array.scalar;
    return;
  }
  const bool as_column = int(position) < m.sample_inputs;
  using host_layout = py::array_t<double, py::array::f_style>;
  if (host_layout::check_(object)) {
    view_array(in, py::reinterpret_borrow<host_layout>(object), as_column);
    return;
  }
  try {
    py::array values = numpy_asarray()(object);
    if (values.dtype().kind() == 'c') {
      // The gateways refuse complex data with their own message; the real
      // parts only stand in for values that are never read.
      in.array.complex = true;
      values = values.attr("real");
    }
    if (!host_layout::check_(values)) values = in_host_layout(values);
    view_array(in, py::reinterpret_borrow<host_layout>(values), as_column);
  } catch (py::error_already_set& e) {
    refuse_input(m, position, e.what());
  }
}

// A host output as Python sees it: a float for 1 x 1, a 1-D array for a
// vector made from a 1-D input, otherwise the host's M x N, column-major.
// The host's storage becomes the array's own; nothing is copied.
py::object python_output(std::unique_ptr<mxArray> array, bool one_dimensional) {
  const size_t m = array->rows, n = array->columns;
  double* data = array->data;
  if (m == 1 && n == 1) {
    const double value = data[0];
    release_output(array->owned);
    return py::float_(value);
  }
  py::capsule owner = owner_of(array->owned);
  if (one_dimensional && (m == 1 || n == 1))
    return py::array_t<double>({py::ssize_t(m * n)}, data, owner);
  return py::array_t<double, py::array::f_style>(
      {py::ssize_t(m), py::ssize_t(n)}, {py::ssize_t(sizeof(double)), py::ssize_t(m * sizeof(double))},
      data, owner);
}

void release(call_context& ctx) {
  for (void* block : ctx.blocks) std::free(block);
  for (auto& array : ctx.arrays)
    if (array) release_output(array->owned);
  ctx.blocks.clear();
  ctx.arrays.clear();
}

// What a caller may set for one call, besides the module's inputs.
struct call_options {
  int threads = 0;     // 0: the host's rule (OMP_NUM_THREADS, else the cores)
  bool quiet = false;  // drop the module's printed lines
};

// workers= as SciPy reads it: None the host's rule, -1 every core this
// process may use, n >= 1 that many threads.
int threads_from_workers(py::handle workers) {
  if (workers.is_none()) return 0;
  if (!PyIndex_Check(workers.ptr()) || PyBool_Check(workers.ptr()))
    throw py::type_error("workers must be None or an int");
  int overflow = 0;
  const py::int_ count(py::reinterpret_borrow<py::object>(workers));
  const long value = PyLong_AsLongAndOverflow(count.ptr(), &overflow);
  if (overflow > 0) return parallel::max_threads;
  if (value == -1 && !overflow) return parallel::available_cores();
  if (overflow < 0 || value < 1) {
    PyErr_SetString(error_type, "workers must be None, -1 or a whole number from 1");
    throw py::error_already_set();
  }
  return int(std::min<long>(value, parallel::max_threads));
}

// The keywords of a call as Python's vectorcall passes them: their names,
// and their values in that order.
call_options options_from(PyObject* names, PyObject* const* values) {
  call_options options;
  for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(names); ++k) {
    PyObject* name = PyTuple_GET_ITEM(names, k);
    if (PyUnicode_CompareWithASCIIString(name, "workers") == 0)
      options.threads = threads_from_workers(values[k]);
    else if (PyUnicode_CompareWithASCIIString(name, "verbose") == 0)
      options.quiet = !py::bool_(py::reinterpret_borrow<py::object>(values[k]));
    else
      throw py::type_error("unexpected keyword argument '" + std::string(py::str(name)) + "'");
  }
  return options;
}

// A call's inputs and outputs: up to `few` of them on the stack, so that a
// call on a few values allocates little besides its outputs.
constexpr size_t few = 8;

template <typename T>
class short_list {
 public:
  explicit short_list(size_t size) : size_(size) {
    if (size > few) {
      heap_.resize(size);
      data_ = heap_.data();
    } else {
      // Only the elements used are made: an input is some hundred bytes.
      data_ = reinterpret_cast<T*>(stack_);
      for (size_t k = 0; k < size; ++k) new (data_ + k) T();
    }
  }
  ~short_list() {
    if (size_ <= few)
      for (size_t k = 0; k < size_; ++k) data_[k].~T();
  }
  short_list(const short_list&) = delete;
  short_list& operator=(const short_list&) = delete;
  T& operator[](size_t k) { return data_[k]; }
  T* data() { return data_; }
  size_t size() const { return size_; }

 private:
  size_t size_;
  T* data_;
  alignas(T) unsigned char stack_[few * sizeof(T)];
  std::vector<T> heap_;
};

py::object call(module& m, PyObject* const* args, size_t count, const call_options& options) {
  short_list<input> inputs(count);
  short_list<const mxArray*> prhs(count);
  for (size_t i = 0; i < count; ++i) {
    read_input(inputs[i], m, i, args[i]);
    prhs[i] = &inputs[i].array;
  }
  short_list<mxArray*> plhs(size_t(m.outputs));

  call_context ctx;
  std::exception_ptr failure;
  {
    py::gil_scoped_release no_gil;
    std::lock_guard<std::mutex> hold(m.lock);
    current = &ctx;
    ctx.quiet = options.quiet;
    parallel::threads_for_this_call = options.threads;
    try {
      m.entry(m.outputs, plhs.data(), int(prhs.size()), prhs.data());
    } catch (...) {
      failure = std::current_exception();
    }
    current = nullptr;
    parallel::threads_for_this_call = 0;
  }

  if (failure) {
    release(ctx);
    try {
      std::rethrow_exception(failure);
    } catch (const host_error& e) {
      PyErr_SetString(error_type, e.message.c_str());
      throw py::error_already_set();
    }
  }

  // The outputs pass to the caller; anything else the call left behind, the
  // host releases, as the real hosts do.
  const bool one_dimensional = m.shape_from != none && size_t(m.shape_from) < inputs.size() &&
                               inputs[size_t(m.shape_from)].one_dimensional;
  short_list<std::unique_ptr<mxArray>> outputs(plhs.size());
  for (auto& array : ctx.arrays)
    for (size_t k = 0; k < plhs.size(); ++k)
      if (array.get() == plhs[k]) outputs[k] = std::move(array);
  release(ctx);

  if (m.outputs == 1)
    return outputs[0] ? python_output(std::move(outputs[0]), one_dimensional) : py::none();
  py::tuple results(outputs.size());
  for (size_t k = 0; k < outputs.size(); ++k)
    results[k] = outputs[k] ? python_output(std::move(outputs[k]), one_dimensional) : py::none();
  return std::move(results);
}

// A module as a Python function, called the way Python calls builtins: the
// positional inputs and the keywords' values in one array, no tuple or dict
// made for them. `self` holds the module.
PyObject* module_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* keyword_names) {
  try {
    module& m = *static_cast<module*>(PyCapsule_GetPointer(self, nullptr));
    const call_options options =
        keyword_names ? options_from(keyword_names, args + nargs) : call_options{};
    return call(m, args, size_t(nargs), options).release().ptr();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (const py::builtin_exception& e) {
    e.set_error();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  }
  return nullptr;
}

PyMethodDef entries[std::size(modules)];

}  // namespace

PYBIND11_MODULE(_host, python_module) {
  python_module.doc() = "The compiled modules; orbitkit presents them.";
  error_type = PyErr_NewException("orbitkit.Error", PyExc_ValueError, nullptr);
  python_module.attr("Error") = py::handle(error_type);
  for (size_t k = 0; k < std::size(modules); ++k) {
    entries[k] = {modules[k].name,
                  reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(module_entry)),
                  METH_FASTCALL | METH_KEYWORDS, nullptr};
    py::capsule self(&modules[k]);
    auto function = py::reinterpret_steal<py::object>(
        PyCFunction_NewEx(&entries[k], self.ptr(), py::str("orbitkit._host").ptr()));
    if (!function) throw py::error_already_set();
    python_module.attr(modules[k].name) = function;
  }
  python_module.def("_set_request_limit", [](size_t bytes) { request_limit = bytes; });
}
