// vexpr_operators.cpp --
//
//     The operators of the vector calculator. Every sum and product is
//     written in the order that fixes its rounding: the dot product and
//     the squared lengths add the y terms first, then x, then z.

#include "matrix/vexpr_operators.h"

#include <algorithm>
#include <cmath>

#include "matrix/matrix_kernels.h"

namespace kelb {

namespace {

// The vector test. An entry missing from the stack counts as having no
// rows; a matrix without columns has no elements to use, so it fails too.
bool IsVector(const Matrix &m) { return m.rows() >= 3 && m.cols() >= 1; }

bool TopIsVector(MatrixStack &stack) { return stack.depth() >= 1 && IsVector(stack.top()); }

bool TopTwoAreVectors(MatrixStack &stack) {
    return stack.depth() >= 2 && IsVector(stack.below()) && IsVector(stack.top());
}

double SumOfSquares(const double *d) { return d[1] * d[1] + d[0] * d[0] + d[2] * d[2]; }

// A = A op B element by element for x, y, z (op applied as written), then
// pop B. Only the first three elements of A change; A keeps its shape.
template <typename Combine>
MatrixError InPlace(MatrixStack &stack, Combine combine) {
    if (!TopTwoAreVectors(stack)) return &kNonvectorOperand;
    double *a = stack.below().data();
    const double *b = stack.top().data();
    for (int k = 0; k < 3; ++k) a[k] = combine(a[k], b, k);
    stack.Pop();
    return nullptr;
}

// A and B replaced by the scalar value(a, b).
template <typename Compute>
MatrixError ToScalar(MatrixStack &stack, Compute compute) {
    if (!TopTwoAreVectors(stack)) return &kNonvectorOperand;
    double value = compute(stack.below().data(), stack.top().data());
    stack.Pop();
    stack.top().SetScalar(value);
    return nullptr;
}

// A and B replaced by the 3 x 1 vector that compute(a, b, out) writes.
template <typename Compute>
MatrixError ToVector(MatrixStack &stack, Compute compute) {
    if (!TopTwoAreVectors(stack)) return &kNonvectorOperand;
    double out[3];
    compute(stack.below().data(), stack.top().data(), out);
    stack.Pop();
    Matrix &result = stack.top();
    result.Reshape(3, 1);  // within the inline storage; cannot throw
    std::copy_n(out, 3, result.data());
    return nullptr;
}

MatrixError Length(MatrixStack &stack) {
    if (!TopIsVector(stack)) return &kNonvectorOperand;
    Matrix &b = stack.top();
    b.SetScalar(std::sqrt(SumOfSquares(b.data())));
    return nullptr;
}

MatrixError Normalize(MatrixStack &stack) {
    if (!TopIsVector(stack)) return &kNonvectorOperand;
    double *b = stack.top().data();
    double f = 1.0 / std::sqrt(SumOfSquares(b));
    for (int k = 0; k < 3; ++k) b[k] = b[k] * f;
    return nullptr;
}

MatrixError PushConstant(MatrixStack &stack, double value) {
    Matrix *entry = stack.Push();
    if (entry == nullptr) return &kStackOverflow;
    entry->SetScalar(value);
    return nullptr;
}

void Cross(const double *a, const double *b, double *out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void Half(const double *a, const double *b, double *out) {
    for (int k = 0; k < 3; ++k) out[k] = (a[k] + b[k]) * 0.5;
}

double SquaredDistance(const double *a, const double *b) {
    double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return SumOfSquares(d);
}

}  // namespace

MatrixError VexprOperator(MatrixStack &stack, VexprOp op) noexcept {
    switch (op) {
    case VexprOp::Add:
        return InPlace(stack, [](double a, const double *b, int k) { return a + b[k]; });
    case VexprOp::Scale:
        return InPlace(stack, [](double a, const double *b, int) { return a * b[0]; });
    case VexprOp::Dot:
        return ToScalar(stack, [](const double *a, const double *b) {
            return a[1] * b[1] + a[0] * b[0] + a[2] * b[2];
        });
    case VexprOp::Cross: return ToVector(stack, Cross);
    case VexprOp::Negate: return &kUnimplemented;
    case VexprOp::Subtract:
        return InPlace(stack, [](double a, const double *b, int k) { return a - b[k]; });
    case VexprOp::Divide:
        return InPlace(stack, [](double a, const double *b, int) { return a / b[0]; });
    case VexprOp::Half: return ToVector(stack, Half);
    case VexprOp::Distance:
        return ToScalar(stack, [](const double *a, const double *b) {
            return std::sqrt(SquaredDistance(a, b));
        });
    case VexprOp::DistInvSq:
        return ToScalar(stack, [](const double *a, const double *b) {
            return 1.0 / SquaredDistance(a, b);
        });
    case VexprOp::Length: return Length(stack);
    case VexprOp::Normalize: return Normalize(stack);
    case VexprOp::RadToDeg: return PushConstant(stack, kRadiansToDegrees);
    case VexprOp::DegToRad: return PushConstant(stack, kDegreesToRadians);
    case VexprOp::Pi: return PushConstant(stack, kPi);
    }
    return &kUnimplemented;
}

}  // namespace kelb
