// The host calls the modules make, declared as the real hosts declare them,
// for the hosts this project implements itself: the stand-in host of the C++
// tests (standin.h) and the Python host (python/include/mex.h). Each defines
// mxArray and the calls in its own way.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int64_t mwSize;

typedef enum {
  mxUNKNOWN_CLASS = 0,
  mxCELL_CLASS,
  mxSTRUCT_CLASS,
  mxLOGICAL_CLASS,
  mxCHAR_CLASS,
  mxVOID_CLASS,
  mxDOUBLE_CLASS,
  mxSINGLE_CLASS,
  mxINT8_CLASS,
  mxUINT8_CLASS,
  mxINT16_CLASS,
  mxUINT16_CLASS,
  mxINT32_CLASS,
  mxUINT32_CLASS,
  mxINT64_CLASS,
  mxUINT64_CLASS,
  mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

struct mxArray;

extern "C" {
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
}

size_t mxGetM(const mxArray* array);
size_t mxGetN(const mxArray* array);
size_t mxGetNumberOfElements(const mxArray* array);
mwSize mxGetNumberOfDimensions(const mxArray* array);
double* mxGetPr(const mxArray* array);
void* mxGetData(const mxArray* array);
mxClassID mxGetClassID(const mxArray* array);
bool mxIsDouble(const mxArray* array);
bool mxIsComplex(const mxArray* array);
bool mxIsSparse(const mxArray* array);
bool mxIsChar(const mxArray* array);
bool mxIsEmpty(const mxArray* array);
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag);
mxArray* mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID class_id, mxComplexity flag);
int mxGetString(const mxArray* array, char* buffer, mwSize length);
void* mxMalloc(size_t bytes);
void* mxCalloc(size_t count, size_t size);
void mxFree(void* pointer);
[[noreturn]] void mexErrMsgTxt(const char* text);
void mexWarnMsgTxt(const char* text);
int mexPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
