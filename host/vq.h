/* The host's array library (libvq): the arrays that carry a plug-in's arguments, results and
 * dialog parameters, and the host-owned zeroed allocator.
 *
 * The first group of functions is what a plug-in may call. The second group is the host's own
 * side: creating arrays of every kind a plug-in's checks ask about, destroying them, and the
 * allocation scopes that own what plug-ins allocate. */
#ifndef QUENVARITH_HOST_VQ_H
#define QUENVARITH_HOST_VQ_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(VQ_BUILDING_LIBRARY)
#define VQ_API __declspec(dllexport)
#else
#define VQ_API __declspec(dllimport)
#endif
#else
#define VQ_API __attribute__((visibility("default")))
#endif

/* An accessor with no effect but its result, which depends only on its arguments and the memory
 * they point to: a caller need not reload what it read before the call. */
#if defined(__GNUC__)
#define VQ_PURE __attribute__((pure))
#else
#define VQ_PURE
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque to plug-ins; only the functions below look inside. */
typedef struct VqArray VqArray;

/* Element classes a host array can hold. Only VQ_CLASS_DOUBLE is what the block wants; the
 * others exist so that its checks can be driven with every kind of argument. */
typedef enum VqClass {
  VQ_CLASS_DOUBLE = 0,
  VQ_CLASS_SINGLE = 1, /* numeric, not double */
  VQ_CLASS_INT32 = 2,  /* numeric, not double */
  VQ_CLASS_CHAR = 3    /* text: not numeric */
} VqClass;

typedef enum VqComplexity { VQ_REAL = 0, VQ_COMPLEX = 1 } VqComplexity;

/* ---- What a plug-in calls ---- */

/* Real double data of a double array (column-major); NULL for other classes and for an array
 * without elements. */
VQ_API VQ_PURE double* vqGetPr(const VqArray* array);
/* Imaginary double data of a complex double array, else NULL. */
VQ_API VQ_PURE double* vqGetPi(const VqArray* array);
VQ_API VQ_PURE size_t vqGetM(const VqArray* array);
VQ_API VQ_PURE size_t vqGetN(const VqArray* array);
VQ_API VQ_PURE size_t vqGetNumberOfElements(const VqArray* array);
VQ_API VQ_PURE int vqIsNumeric(const VqArray* array);
VQ_API VQ_PURE int vqIsComplex(const VqArray* array);
VQ_API VQ_PURE int vqIsSparse(const VqArray* array);
VQ_API VQ_PURE int vqIsDouble(const VqArray* array);
VQ_API VQ_PURE int vqIsEmpty(const VqArray* array);
VQ_API int vqIsInf(double value);
VQ_API int vqIsNaN(double value);

/* Zero-filled memory owned by the host: it belongs to the calling thread's current allocation
 * scope (see below) and is released with it. Never NULL: an allocation that cannot be made
 * aborts the process, as the host does. A plug-in never frees it. */
VQ_API void* vqCalloc(size_t count, size_t elementSize);

/* A new real (or complex) double matrix with zeroed data. The caller owns it. */
VQ_API VqArray* vqCreateDoubleMatrix(size_t rows, size_t columns, VqComplexity complexity);

/* ---- The host's own side ---- */

/* A 1 x 1 real double. */
VQ_API VqArray* vqCreateDoubleScalar(double value);
/* A numeric matrix of the given class (zeroed). For VQ_CLASS_CHAR use vqCreateString. */
VQ_API VqArray* vqCreateNumericMatrix(size_t rows, size_t columns, VqClass elementClass,
                                      VqComplexity complexity);
/* A sparse double matrix holding `value` at (0, 0) when rows and columns are both nonzero.
 * Its real data reads like a dense array's element 0, as a host's does for a scalar. */
VQ_API VqArray* vqCreateSparseScalar(size_t rows, size_t columns, double value);
/* A 1 x strlen(text) character array. */
VQ_API VqArray* vqCreateString(const char* text);
/* Data of any array, whatever its class: the bytes behind element 0 (NULL when empty). */
VQ_API void* vqGetData(const VqArray* array);
VQ_API VqClass vqGetClass(const VqArray* array);
/* Accepts NULL. */
VQ_API void vqDestroyArray(VqArray* array);

/* Allocation scopes. A host opens a scope for a block (or a call) and makes it the calling
 * thread's current one while it calls into the plug-in; every vqCalloc made meanwhile belongs
 * to it and is released by vqDestroyAllocationScope. Calls made while no scope is current go to
 * a process-wide scope released at exit. */
typedef struct VqAllocationScope VqAllocationScope;
VQ_API VqAllocationScope* vqCreateAllocationScope(void);
/* Releases every allocation of the scope, then the scope. Accepts NULL. */
VQ_API void vqDestroyAllocationScope(VqAllocationScope* scope);
/* Makes `scope` (or none, for NULL) current on this thread; returns the previous one. */
VQ_API VqAllocationScope* vqSetCurrentAllocationScope(VqAllocationScope* scope);
/* Number of live allocations and their total bytes in a scope. */
VQ_API size_t vqAllocationCount(const VqAllocationScope* scope);
VQ_API size_t vqAllocatedBytes(const VqAllocationScope* scope);

#ifdef __cplusplus
}
#endif

#endif
