// matrix_value.cpp --
//
//     Storage management of Matrix.

#include "matrix/matrix_value.h"

#include <algorithm>
#include <new>
#include <utility>

namespace kelb {

namespace {

// The nothrow form, checked here, so that a failed allocation is the same
// std::bad_alloc under the sanitizers, whose throwing operator new aborts.
double *AllocateElements(std::size_t count) {
    double *elements = new (std::nothrow) double[count];
    if (elements == nullptr) throw std::bad_alloc();
    return elements;
}

}  // namespace

Matrix::Matrix(Matrix &&other) noexcept { Swap(other); }

Matrix &Matrix::operator=(Matrix &&other) noexcept {
    if (this != &other) {
        Release();
        Swap(other);
    }
    return *this;
}

void Matrix::Grow(std::size_t count) {
    heap_.reset(AllocateElements(count));
    capacity_ = count;
}

void Matrix::SetScalar(double value) {
    Reshape(1, 1);
    data()[0] = value;
}

void Matrix::Release() noexcept {
    heap_.reset();
    capacity_ = kInlineElements;
    rows_ = 0;
    cols_ = 0;
}

void Matrix::Swap(Matrix &other) noexcept {
    // Inline elements travel by copy; heap storage by pointer.
    double saved[kInlineElements];
    std::size_t mine = heap_ ? 0 : size();
    std::size_t theirs = other.heap_ ? 0 : other.size();
    std::copy_n(inline_, mine, saved);
    std::copy_n(other.inline_, theirs, inline_);
    std::copy_n(saved, mine, other.inline_);
    std::swap(rows_, other.rows_);
    std::swap(cols_, other.cols_);
    std::swap(capacity_, other.capacity_);
    std::swap(heap_, other.heap_);
}

}  // namespace kelb
