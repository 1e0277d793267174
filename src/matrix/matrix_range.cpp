// matrix_range.cpp --
//
//     Block extraction for "matrix range".

#include "matrix/matrix_range.h"

#include <algorithm>
#include <utility>

namespace kelb {

namespace {

// A negative index never counts from the end except as the last one: -1
// is "end", and -5 on a three-row matrix is the last row as well.
int Clamp(int index, int count) { return index < 0 || index >= count ? count - 1 : index; }

void Order(int &low, int &high) {
    if (high < low) std::swap(low, high);
}

}  // namespace

void MatrixClampRange(MatrixRange &range, int rows, int cols) noexcept {
    range.left = Clamp(range.left, rows);
    range.right = Clamp(range.right, rows);
    range.top = Clamp(range.top, cols);
    range.bottom = Clamp(range.bottom, cols);
    Order(range.left, range.right);
    Order(range.top, range.bottom);
}

void MatrixExtractRange(Matrix &dst, const Matrix &src, MatrixRange &range) {
    MatrixClampRange(range, src.rows(), src.cols());
    const int width = range.bottom - range.top + 1;
    dst.Reshape(range.right - range.left + 1, width);
    double *out = dst.data();
    for (int r = range.left; r <= range.right; ++r, out += width) {
        const double *row = src.data() + static_cast<std::size_t>(r) * src.cols();
        std::copy(row + range.top, row + range.bottom + 1, out);
    }
}

}  // namespace kelb
