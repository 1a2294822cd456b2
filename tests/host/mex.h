// Test host: the subset of the host's MEX interface that the entry layer and
// the plug-in entries use, implemented in host.cpp so that the real entry
// files compile and run in ordinary test and fuzz executables.
//
// Types follow GNU Octave's interface (64-bit signed sizes, one-byte
// logicals). Arrays are strict: the data of an array is one heap block of
// exactly its element count (none for an empty array, whose data pointer is
// null), so a read past the end is caught by AddressSanitizer; an array
// above 4 GiB (the tests make them only to be refused unread) has data that
// faults when read;
// a sparse array stores only its nonzeros; a non-double array's data
// pointer points at its own elements.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::int64_t mwSize;
typedef std::int64_t mwIndex;
typedef unsigned char mxLogical;
typedef char mxChar;

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

struct mxArray_tag;
typedef struct mxArray_tag mxArray;

extern "C" {

// Entry point every plug-in defines.
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Host services.
[[noreturn]] void mexErrMsgIdAndTxt(const char* id, const char* fmt, ...);
[[noreturn]] void mexErrMsgTxt(const char* text);
int mexPrintf(const char* fmt, ...);
int mexAtExit(void (*fn)(void));
void* mxMalloc(std::size_t n);
void* mxCalloc(std::size_t n, std::size_t size);
void mxFree(void* p);
double mxGetNaN(void);
double mxGetInf(void);

// Creation and destruction.
mxArray* mxCreateDoubleScalar(double v);
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity c);
mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID cls, mxComplexity c);
mxArray* mxCreateNumericArray(mwSize ndims, const mwSize* dims, mxClassID cls, mxComplexity c);
mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n);
mxArray* mxCreateLogicalMatrix_730(mwSize m, mwSize n);
mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity c);
mxArray* mxCreateString(const char* text);
mxArray* mxCreateCellMatrix(mwSize m, mwSize n);
mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** names);
void mxDestroyArray(mxArray* a);

// Inspection.
mxClassID mxGetClassID(const mxArray* a);
const char* mxGetClassName(const mxArray* a);
bool mxIsDouble(const mxArray* a);
bool mxIsComplex(const mxArray* a);
bool mxIsSparse(const mxArray* a);
bool mxIsLogical(const mxArray* a);
bool mxIsChar(const mxArray* a);
bool mxIsStruct(const mxArray* a);
bool mxIsCell(const mxArray* a);
bool mxIsEmpty(const mxArray* a);
std::size_t mxGetM(const mxArray* a);
std::size_t mxGetN(const mxArray* a);
std::size_t mxGetNumberOfElements(const mxArray* a);
mwSize mxGetNumberOfDimensions(const mxArray* a);
const mwSize* mxGetDimensions(const mxArray* a);
double* mxGetPr(const mxArray* a);
double* mxGetPi(const mxArray* a);
void* mxGetData(const mxArray* a);
mxLogical* mxGetLogicals(const mxArray* a);
double mxGetScalar(const mxArray* a);

// Records and cells.
void mxSetField(mxArray* s, mwIndex index, const char* name, mxArray* value);
mxArray* mxGetField(const mxArray* s, mwIndex index, const char* name);
int mxGetNumberOfFields(const mxArray* s);
mxArray* mxGetCell(const mxArray* c, mwIndex index);
void mxSetCell(mxArray* c, mwIndex index, mxArray* value);
}
