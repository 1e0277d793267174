// matrix_solve.h --
//
//     Linear systems by column replacement, as "matrix cramer" computes
//     them.

#pragma once

namespace kelb {

// For the n x n system equations (row-major) with right-hand side
// solutions (n doubles), result[i] = the determinant of equations with
// column i replaced by solutions. The results are not divided by the
// determinant of equations, so a singular system is no error. Throws
// std::bad_alloc if the work matrix cannot be allocated.
void MatrixCramer(double *result, const double *equations, const double *solutions, int n);

}  // namespace kelb
