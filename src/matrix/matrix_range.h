// matrix_range.h --
//
//     Cutting a rectangular block out of a matrix, as "matrix range" does.
//     A range names rows and columns by index; out-of-range indices select
//     the last row or column, and each pair is put in ascending order.

#pragma once

#include "matrix/matrix_value.h"

namespace kelb {

// The four indices of a range in the order scripts write them. Top and
// bottom are column positions inside a row; left and right are rows.
struct MatrixRange {
    int top;
    int left;
    int bottom;
    int right;
};

// The index that stands for "end": the last row or column.
inline constexpr int kRangeEnd = -1;

// Clamps range to a rows x cols matrix (rows, cols >= 1) and orders it:
// every index below 0 or past the end becomes the last one, then left <=
// right and top <= bottom.
void MatrixClampRange(MatrixRange &range, int rows, int cols) noexcept;

// dst = the block of src (which has at least one element) selected by
// range, after clamping and ordering range in place: rows left..right,
// and within each row the positions top..bottom. Throws std::bad_alloc if
// the block cannot be allocated.
void MatrixExtractRange(Matrix &dst, const Matrix &src, MatrixRange &range);

}  // namespace kelb
