/* The part of MATLAB's C matrix API (libmx) that lamina's gateways use, with
 * MATLAB's names and signatures under its R2017b ("separate complex") API.
 *
 * Under MATLAB or GNU Octave the host's own matrix.h is used instead; this one
 * serves the project's own host, which tests and benchmarks load the plug-ins
 * into. A gateway that compiles against it therefore imports only names that
 * MATLAB's libmx exports. */
#ifndef LAMINA_HOST_MATRIX_H
#define LAMINA_HOST_MATRIX_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;
/* One element of a logical array: one byte, false or true. */
typedef bool mxLogical;

typedef enum { mxREAL, mxCOMPLEX } mxComplexity;

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
  mxFUNCTION_CLASS,
  mxOPAQUE_CLASS,
  mxOBJECT_CLASS
} mxClassID;

/* Real data of a double array, column-major. This host raises a host error
 * (identifier lamina_host:contract) when the array is of any other class:
 * MATLAB and Octave cannot hand out a data pointer for a cell, a struct, a
 * function handle or an object either (Octave aborts the session), and for
 * the other numeric classes the data are not doubles. */
double *mxGetPr(const mxArray *pa);
/* Row count, and the product of all other dimensions. */
size_t mxGetM(const mxArray *pa);
size_t mxGetN(const mxArray *pa);
size_t mxGetNumberOfElements(const mxArray *pa);
/* The first real element converted to double. The array must be a non-empty
 * numeric, logical or char array; this host raises lamina_host:contract
 * otherwise. */
double mxGetScalar(const mxArray *pa);
bool mxIsDouble(const mxArray *pa);
bool mxIsComplex(const mxArray *pa);
bool mxIsSparse(const mxArray *pa);
bool mxIsNumeric(const mxArray *pa);
bool mxIsLogical(const mxArray *pa);
mxClassID mxGetClassID(const mxArray *pa);
/* The class as MATLAB names it: "double", "int32", "cell", "function_handle",
 * and for an object its class, such as "containers.Map". */
const char *mxGetClassName(const mxArray *pa);

/* Under the R2017b API the 64-bit-size entry point carries the _730 suffix;
 * MATLAB's header maps the plain name onto it the same way. */
mxArray *mxCreateDoubleMatrix_730(size_t m, size_t n, mxComplexity flag);
#define mxCreateDoubleMatrix mxCreateDoubleMatrix_730

/* An m-by-n sparse double matrix with room for nzmax non-zeros (at least
 * 1), its column starts (n + 1), row indices and values all zero. */
mxArray *mxCreateSparse_730(size_t m, size_t n, size_t nzmax, mxComplexity flag);
#define mxCreateSparse mxCreateSparse_730
/* The row indices (nzmax) and column starts (n + 1) of a sparse array; this
 * host raises lamina_host:contract for a full one. */
mwIndex *mxGetIr_730(const mxArray *pa);
mwIndex *mxGetJc_730(const mxArray *pa);
#define mxGetIr mxGetIr_730
#define mxGetJc mxGetJc_730

/* Text arguments. mxGetString copies a char array into buf as a
 * NUL-terminated string of at most buflen - 1 characters; it returns 0, or
 * 1 when the text did not fit or the array is not a char array. */
bool mxIsChar(const mxArray *pa);
int mxGetString_730(const mxArray *pa, char *buf, size_t buflen);
#define mxGetString mxGetString_730

/* The elements of a full logical array (this host raises
 * lamina_host:contract for any other). */
mxLogical *mxGetLogicals(const mxArray *pa);

/* Outputs beyond plain matrices, as MATLAB creates them: a 1-by-1 double, a
 * 1-by-1 logical, a 1-by-N char row holding a C string, an m-by-n logical
 * matrix of false. */
mxArray *mxCreateDoubleScalar(double value);
mxArray *mxCreateLogicalScalar(mxLogical value);
mxArray *mxCreateString(const char *str);
mxArray *mxCreateLogicalMatrix_730(size_t m, size_t n);
#define mxCreateLogicalMatrix mxCreateLogicalMatrix_730

/* Struct and cell arrays. mxCreateStructMatrix makes an m-by-n struct array
 * with the named fields, every value empty (null); mxCreateCellMatrix an
 * m-by-n cell array of empty cells. mxSetField and mxSetCell store a value
 * at (0-based) element `index`: the container owns it from then on and
 * destroys it with itself, so the value must be an array the MEX call
 * created and has not stored elsewhere (this host raises
 * lamina_host:contract otherwise, and for a field the struct does not have
 * or an index beyond its elements). A value it replaces is not destroyed
 * (MATLAB leaves that to the caller; this host frees it when the call ends).
 * mxGetField returns the stored value, or null. */
mxArray *mxCreateStructMatrix_730(size_t m, size_t n, int nfields, const char **fieldnames);
mxArray *mxCreateCellMatrix_730(size_t m, size_t n);
void mxSetField_730(mxArray *pm, size_t index, const char *fieldname, mxArray *value);
mxArray *mxGetField_730(const mxArray *pm, size_t index, const char *fieldname);
void mxSetCell_730(mxArray *pm, size_t index, mxArray *value);
#define mxCreateStructMatrix mxCreateStructMatrix_730
#define mxCreateCellMatrix mxCreateCellMatrix_730
#define mxSetField mxSetField_730
#define mxGetField mxGetField_730
#define mxSetCell mxSetCell_730

/* Memory that the host reclaims by itself when the MEX call ends, also when
 * it ends in an error; mxFree gives it back earlier. */
void *mxMalloc(size_t n);
void *mxCalloc(size_t n, size_t size);
void mxFree(void *ptr);

void mxDestroyArray(mxArray *pa);

#ifdef __cplusplus
}
#endif

#endif /* LAMINA_HOST_MATRIX_H */
