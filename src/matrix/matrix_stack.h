// matrix_stack.h --
//
//     The evaluation stack of the postfix calculators: at most 64 matrices,
//     entry 0 at the bottom. One stack serves one command call; entries
//     popped or left behind give their storage back when they are reused
//     or when the stack goes out of scope, on every path out of a command.

#pragma once

#include <new>

#include "matrix/matrix_value.h"

namespace kelb {

class MatrixStack {
public:
    static constexpr int kCapacity = 64;

    MatrixStack() noexcept = default;
    MatrixStack(const MatrixStack &) = delete;
    MatrixStack &operator=(const MatrixStack &) = delete;
    ~MatrixStack() {
        while (stackTop_ >= 0) Pop();
    }

    // Number of live entries.
    int depth() const noexcept { return stackTop_ + 1; }

    // The top entry (B) and the one below it (A); the caller checks depth.
    Matrix &top() noexcept { return Entry(stackTop_); }
    Matrix &below() noexcept { return Entry(stackTop_ - 1); }

    // Makes a new empty top entry and returns it, or nullptr when all 64
    // entries are in use.
    Matrix *Push() noexcept {
        if (stackTop_ + 1 >= kCapacity) return nullptr;
        // Default-initialised, not value-initialised: "Matrix()" would
        // zero the inline elements, which are written before use anyway.
        return new (&storage_[++stackTop_]) Matrix;
    }

    // Releases the top entry and lowers the stack by one.
    void Pop() noexcept { Entry(stackTop_--).~Matrix(); }

private:
    // Entries are constructed when pushed and destroyed when popped, so a
    // command pays only for the entries it uses.
    struct alignas(Matrix) Slot {
        unsigned char bytes[sizeof(Matrix)];
    };
    Matrix &Entry(int i) noexcept { return *std::launder(reinterpret_cast<Matrix *>(&storage_[i])); }

    Slot storage_[kCapacity];
    int stackTop_ = -1;  // index of the top entry; -1 when empty
};

}  // namespace kelb
