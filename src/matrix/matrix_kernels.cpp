// matrix_kernels.cpp --
//
//     The numeric kernels of the matrix module.

#include "matrix/matrix_kernels.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace kelb {

namespace {

// Work space of count doubles: inside the object for the small matrices
// the calculators see, on the heap beyond that.
class Scratch {
public:
    explicit Scratch(std::size_t count)
        : heap_(count > kInline ? new double[count] : nullptr) {}
    double *data() noexcept { return heap_ ? heap_.get() : inline_; }

private:
    static constexpr std::size_t kInline = 16;
    std::unique_ptr<double[]> heap_;
    double inline_[kInline];
};

std::size_t Square(int n) {
    return static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
}

// Sarrus's rule, diagonals taken from column 1, then 2, then 0.
double Determinant3(const double *e) noexcept {
    double sum = 0.0;
    for (int s = 0; s < 3; ++s) {
        int c0 = (s + 1) % 3, c1 = (c0 + 1) % 3, c2 = (c0 + 2) % 3;
        double down = 1.0;
        down *= e[0 * 3 + c0];
        down *= e[1 * 3 + c1];
        down *= e[2 * 3 + c2];
        double up = 1.0;
        up *= e[2 * 3 + c0];
        up *= e[1 * 3 + c1];
        up *= e[0 * 3 + c2];
        sum = (sum + down) - up;
    }
    return sum;
}

// Gaussian elimination with partial pivoting on a copy.
double DeterminantByElimination(const double *elements, int n) {
    Scratch work(Square(n));
    double *a = work.data();
    std::copy_n(elements, Square(n), a);
    double det = 1.0;
    for (int k = 0; k < n; ++k) {
        int pivot = k;
        for (int r = k + 1; r < n; ++r) {
            if (std::fabs(a[r * n + k]) > std::fabs(a[pivot * n + k])) pivot = r;
        }
        if (a[pivot * n + k] == 0.0) return 0.0;
        if (pivot != k) {
            std::swap_ranges(a + pivot * n, a + pivot * n + n, a + k * n);
            det = -det;
        }
        double p = a[k * n + k];
        det *= p;
        for (int r = k + 1; r < n; ++r) {
            double f = a[r * n + k] / p;
            for (int c = k + 1; c < n; ++c) a[r * n + c] -= f * a[k * n + c];
        }
    }
    return det;
}

}  // namespace

void MatrixNegate(std::span<double> dst, std::span<const double> src) noexcept {
    for (std::size_t i = 0; i < src.size(); ++i) dst[i] = -src[i];
}

void MatrixReciprocal(std::span<double> dst, std::span<const double> src) noexcept {
    for (std::size_t i = 0; i < src.size(); ++i) dst[i] = 1.0 / src[i];
}

void MatrixScale(std::span<double> dst, std::span<const double> src, double factor) noexcept {
    for (std::size_t i = 0; i < src.size(); ++i) dst[i] = factor * src[i];
}

void MatrixMultiply(double *dst, const double *a, const double *b, int m, int n, int p) noexcept {
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < p; ++j) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) sum += a[i * n + k] * b[k * p + j];
            dst[i * p + j] = sum;
        }
    }
}

void MatrixTranspose(double *dst, const double *src, int rows, int cols) noexcept {
    // Row i of src becomes column i of dst.
    for (int i = 0; i < rows; ++i, src += cols) {
        double *column = dst + i;
        for (int j = 0; j < cols; ++j, column += rows) *column = src[j];
    }
}

double MatrixDeterminant(const double *e, int n) {
    switch (n) {
    case 1: return e[0];
    case 2: return e[0] * e[3] - e[1] * e[2];
    case 3: return Determinant3(e);
    default: return DeterminantByElimination(e, n);
    }
}

// The adjoint is built from the transpose with checkerboard signs: each
// element is the determinant of a minor of that signed transpose, which
// gives dst(i, j) = (-1)^(i+j) det(src without row j and column i). The
// signs are applied to elements, not to the minors' determinants, so the
// zeros of the result carry the signs this produces (the inverse of
// {2 0} {0 4} has -0.0 off the diagonal).
void MatrixAdjoint(double *dst, const double *src, int n) {
    if (n == 1) {
        dst[0] = 1.0;
        return;
    }
    Scratch signedTranspose(Square(n));
    Scratch minor(Square(n - 1));
    double *w = signedTranspose.data();
    double *m = minor.data();
    MatrixTranspose(w, src, n, n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            if ((i + j) % 2 != 0) w[i * n + j] = -w[i * n + j];
        }
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            double *out = m;
            for (int r = 0; r < n; ++r) {
                if (r == i) continue;
                for (int c = 0; c < n; ++c) {
                    if (c != j) *out++ = w[r * n + c];
                }
            }
            dst[i * n + j] = MatrixDeterminant(m, n - 1);
        }
    }
}

bool MatrixInverse(double *dst, const double *src, int n) {
    double det = MatrixDeterminant(src, n);
    if (det == 0.0) return false;
    MatrixAdjoint(dst, src, n);
    std::size_t count = Square(n);
    MatrixScale({dst, count}, {dst, count}, 1.0 / det);
    return true;
}

double MatrixEuclideanLength(std::span<const double> elements) noexcept {
    double sum = 0.0;
    for (double e : elements) sum = sum + e * e;
    return std::sqrt(sum);
}

}  // namespace kelb
