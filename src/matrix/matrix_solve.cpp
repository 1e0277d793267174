// matrix_solve.cpp --
//
//     Column-replacement determinants.

#include "matrix/matrix_solve.h"

#include <algorithm>
#include <cstddef>

#include "matrix/matrix_kernels.h"
#include "matrix/matrix_value.h"

namespace kelb {

void MatrixCramer(double *result, const double *equations, const double *solutions, int n) {
    // One work copy of the equations; column i holds the solutions while
    // determinant i is taken and gets its own elements back afterwards.
    Matrix work(n, n);
    double *w = work.data();
    std::copy_n(equations, work.size(), w);
    const std::size_t size = static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < size; ++i) {
        for (std::size_t j = 0; j < size; ++j) w[j * size + i] = solutions[j];
        result[i] = MatrixDeterminant(w, n);
        for (std::size_t j = 0; j < size; ++j) w[j * size + i] = equations[j * size + i];
    }
}

}  // namespace kelb
