// matrix_kernels.h --
//
//     The numeric kernels shared by the calculators and the matrix command.
//     They work on row-major element buffers and never allocate their
//     result; the caller supplies every destination. Where a kernel allows
//     dst to be src, it says so.
//
//     The order of every sum and product is fixed, and each partial result
//     is rounded to a double, so that results are reproducible bit for bit.

#pragma once

#include <cstddef>
#include <span>

namespace kelb {

// Angle constants: the doubles nearest to 180/pi, pi/180 and pi.
inline constexpr double kRadiansToDegrees = 57.29577951308232;
inline constexpr double kDegreesToRadians = 0.017453292519943295;
inline constexpr double kPi = 3.141592653589793;

// dst[i] = -src[i]; dst may be src.
void MatrixNegate(std::span<double> dst, std::span<const double> src) noexcept;

// dst[i] = 1.0 / src[i], with IEEE results for zeros; dst may be src.
void MatrixReciprocal(std::span<double> dst, std::span<const double> src) noexcept;

// dst[i] = factor * src[i]; dst may be src.
void MatrixScale(std::span<double> dst, std::span<const double> src, double factor) noexcept;

// dst (m x p) = a (m x n) . b (n x p); dst must be distinct from a and b.
void MatrixMultiply(double *dst, const double *a, const double *b, int m, int n, int p) noexcept;

// dst (cols x rows) = src (rows x cols) transposed; distinct buffers.
void MatrixTranspose(double *dst, const double *src, int rows, int cols) noexcept;

// The determinant of the n x n matrix at elements, n >= 1: the explicit
// formulas up to order 3 (Sarrus's rule for 3), elimination with partial
// pivoting above.
double MatrixDeterminant(const double *elements, int n);

// dst (n x n) = the adjoint (classical adjugate) of src, n >= 1; distinct
// buffers. Throws std::bad_alloc if its work space cannot be had (n > 4).
void MatrixAdjoint(double *dst, const double *src, int n);

// dst = the inverse of src (n x n), as the adjoint divided by the
// determinant. Returns false, leaving dst untouched, when the determinant
// is exactly zero; a nearly singular matrix is inverted.
bool MatrixInverse(double *dst, const double *src, int n);

// The Euclidean length of the elements taken as one vector: the square
// root of the sum of their squares, added in storage order from 0.0.
double MatrixEuclideanLength(std::span<const double> elements) noexcept;

}  // namespace kelb
