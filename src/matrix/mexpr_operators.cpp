// mexpr_operators.cpp --
//
//     The operators of the matrix calculator.

#include "matrix/mexpr_operators.h"

#include <algorithm>
#include <utility>

#include "matrix/matrix_kernels.h"

namespace kelb {

namespace {

bool SameShape(const Matrix &a, const Matrix &b) {
    return a.rows() == b.rows() && a.cols() == b.cols();
}

// "+": A = A + B, then pop B.
MatrixError Add(MatrixStack &stack) {
    if (stack.depth() < 2) return &kMissingSumOperand;
    Matrix &a = stack.below();
    const Matrix &b = stack.top();
    if (!SameShape(a, b)) return &kNonConforming;
    double *x = a.data();
    const double *y = b.data();
    for (std::size_t i = 0; i < a.size(); ++i) x[i] = x[i] + y[i];
    stack.Pop();
    return nullptr;
}

// "-": B negated, then "+".
MatrixError Subtract(MatrixStack &stack) {
    if (stack.depth() < 2) return &kMissingSumOperand;
    if (!SameShape(stack.below(), stack.top())) return &kNonConforming;
    Matrix &b = stack.top();
    MatrixNegate(b.elements(), b.elements());
    return Add(stack);
}

// "*" and "/": every element of A times the first element of B (its
// reciprocal for "/"), then pop B. B may have any shape but must have an
// element.
MatrixError Scale(MatrixStack &stack, bool divide) {
    MatrixError missing = divide ? &kMissingDivideOperand : &kMissingScaleOperand;
    if (stack.depth() < 2 || stack.top().size() == 0) return missing;
    Matrix &b = stack.top();
    if (divide) MatrixReciprocal(b.elements(), b.elements());
    Matrix &a = stack.below();
    MatrixScale(a.elements(), a.elements(), b.data()[0]);
    stack.Pop();
    return nullptr;
}

// "*.": A = A . B for an m x n A and an n x m B, then pop B.
MatrixError Product(MatrixStack &stack) {
    if (stack.depth() < 2) return &kMissingProductOperand;
    Matrix &a = stack.below();
    const Matrix &b = stack.top();
    if (a.cols() != b.rows() || a.rows() != b.cols()) return &kNonConforming;
    Matrix result(a.rows(), b.cols());
    MatrixMultiply(result.data(), a.data(), b.data(), a.rows(), a.cols(), b.cols());
    a.Swap(result);
    stack.Pop();
    return nullptr;
}

// "~" and "1/" work on B in place and do nothing on an empty stack.
MatrixError Negate(MatrixStack &stack) {
    if (stack.depth() >= 1) MatrixNegate(stack.top().elements(), stack.top().elements());
    return nullptr;
}

MatrixError Reciprocal(MatrixStack &stack) {
    if (stack.depth() >= 1) {
        MatrixReciprocal(stack.top().elements(), stack.top().elements());
    }
    return nullptr;
}

// "transpose", "inverse" and "adjoint" replace B but, by the calculator's
// rules, need two entries on the stack.
MatrixError Transpose(MatrixStack &stack) {
    if (stack.depth() < 2) return &kMissingOpcode;
    Matrix &b = stack.top();
    if (b.IsSquare()) {
        // In place: exchange each element above the diagonal with its
        // mirror image below.
        double *e = b.data();
        const std::size_t n = static_cast<std::size_t>(b.rows());
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) std::swap(e[i * n + j], e[j * n + i]);
        }
        return nullptr;
    }
    if (b.size() <= Matrix::kInlineElements) {
        // Small matrices transpose through a copy on the C stack.
        double copy[Matrix::kInlineElements];
        std::copy_n(b.data(), b.size(), copy);
        int rows = b.rows(), cols = b.cols();
        b.Reshape(cols, rows);
        MatrixTranspose(b.data(), copy, rows, cols);
        return nullptr;
    }
    Matrix result(b.cols(), b.rows());
    MatrixTranspose(result.data(), b.data(), b.rows(), b.cols());
    b.Swap(result);
    return nullptr;
}

MatrixError Inverse(MatrixStack &stack) {
    if (stack.depth() < 2) return &kMissingOpcode;
    Matrix &b = stack.top();
    if (!b.IsSquare()) return &kInvertNonSquare;
    Matrix result(b.rows(), b.cols());
    if (!MatrixInverse(result.data(), b.data(), b.rows())) return &kSingularMatrix;
    b.Swap(result);
    return nullptr;
}

MatrixError Adjoint(MatrixStack &stack) {
    if (stack.depth() < 2) return &kMissingOpcode;
    Matrix &b = stack.top();
    if (!b.IsSquare()) return &kInvertNonSquare;
    Matrix result(b.rows(), b.cols());
    MatrixAdjoint(result.data(), b.data(), b.rows());
    b.Swap(result);
    return nullptr;
}

// "determinate": B becomes the 1 x 1 matrix of its determinant.
MatrixError Determinant(MatrixStack &stack) {
    if (stack.depth() < 1 || !stack.top().IsSquare()) return &kNotSquare;
    Matrix &b = stack.top();
    b.SetScalar(MatrixDeterminant(b.data(), b.rows()));
    return nullptr;
}

}  // namespace

MatrixError MexprOperator(MatrixStack &stack, MexprOp op) {
    switch (op) {
    case MexprOp::Add: return Add(stack);
    case MexprOp::Scale: return Scale(stack, false);
    case MexprOp::Product: return Product(stack);
    case MexprOp::Cross: return &kUnimplemented;
    case MexprOp::Negate: return Negate(stack);
    case MexprOp::Reciprocal: return Reciprocal(stack);
    case MexprOp::Subtract: return Subtract(stack);
    case MexprOp::Divide: return Scale(stack, true);
    case MexprOp::Transpose: return Transpose(stack);
    case MexprOp::Inverse: return Inverse(stack);
    case MexprOp::Determinant: return Determinant(stack);
    case MexprOp::Adjoint: return Adjoint(stack);
    case MexprOp::Noop: return &kUnimplemented;
    }
    return &kUnimplemented;
}

}  // namespace kelb
