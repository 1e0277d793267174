// matrix_value.h --
//
//     Matrix, the value every command of the matrix module works on: a
//     dense rows x cols matrix of doubles in row-major order. A matrix of up
//     to 4 x 4 lives inside the record, so the calculators' usual operands
//     (scalars, 3-vectors, 3 x 3 and 4 x 4 matrices) cost no allocation.

#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <span>

namespace kelb {

// A count of rows or columns as Matrix keeps it. Tcl 9 lists may hold
// more than an int counts; a matrix that large could not be allocated, so
// it fails as such an allocation does, with std::bad_alloc.
inline int MatrixDimension(std::int64_t count) {
    if (count > std::numeric_limits<int>::max()) throw std::bad_alloc();
    return static_cast<int>(count);
}

class Matrix {
public:
    static constexpr std::size_t kInlineElements = 16;

    Matrix() noexcept = default;
    Matrix(int rows, int cols) { Reshape(rows, cols); }
    Matrix(const Matrix &) = delete;
    Matrix &operator=(const Matrix &) = delete;
    Matrix(Matrix &&other) noexcept;
    Matrix &operator=(Matrix &&other) noexcept;
    ~Matrix() = default;

    int rows() const noexcept { return rows_; }
    int cols() const noexcept { return cols_; }
    std::size_t size() const noexcept {
        return static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cols_);
    }
    bool IsSquare() const noexcept { return rows_ == cols_; }

    double *data() noexcept { return heap_ ? heap_.get() : inline_; }
    const double *data() const noexcept { return heap_ ? heap_.get() : inline_; }
    std::span<double> elements() noexcept { return {data(), size()}; }
    std::span<const double> elements() const noexcept { return {data(), size()}; }

    double &at(int row, int col) noexcept { return data()[Index(row, col)]; }
    double at(int row, int col) const noexcept { return data()[Index(row, col)]; }

    // Gives the matrix a new shape. The elements' values are unspecified
    // afterwards; storage is reused when it is large enough. Throws
    // std::bad_alloc when the elements cannot be allocated. Inline, as
    // every operand read and most results reshape a small matrix.
    void Reshape(int rows, int cols) {
        std::size_t needed = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
        if (needed > capacity_) Grow(needed);
        rows_ = rows;
        cols_ = cols;
    }

    // Makes the matrix a 1 x 1 scalar holding value.
    void SetScalar(double value);

    // Back to the empty 0 x 0 matrix, giving any heap storage back.
    void Release() noexcept;

    // Exchanges contents with other; used to install a result computed
    // into a scratch matrix.
    void Swap(Matrix &other) noexcept;

private:
    // Replaces the storage by heap storage of count elements.
    void Grow(std::size_t count);

    std::size_t Index(int row, int col) const noexcept {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(col);
    }

    int rows_ = 0;
    int cols_ = 0;
    std::size_t capacity_ = kInlineElements;  // elements that fit in the storage in use
    std::unique_ptr<double[]> heap_;          // storage when inline_ is too small
    double inline_[kInlineElements];
};

}  // namespace kelb
