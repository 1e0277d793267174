// Unit tests of the vector calculator's operators on a stack.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "matrix/matrix_kernels.h"
#include "matrix/vexpr_operators.h"
#include "matrix_test_support.h"

using namespace kelb;
using kelb::testing::Push;
using kelb::testing::Top;

namespace {

void PushVector(MatrixStack &stack, double x, double y, double z) { Push(stack, 3, 1, {x, y, z}); }

// Applies op to the vectors a and b (or to a alone when b is empty) and
// returns the top entry.
std::vector<double> Apply(VexprOp op, std::vector<double> a, std::vector<double> b = {}) {
    MatrixStack stack;
    PushVector(stack, a[0], a[1], a[2]);
    if (!b.empty()) PushVector(stack, b[0], b[1], b[2]);
    MatrixError error = VexprOperator(stack, op);
    EXPECT_EQ(error, nullptr) << error->message;
    EXPECT_EQ(stack.depth(), 1);
    return Top(stack);
}

}  // namespace

TEST(VexprConstants, ExactBitPatterns) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(kRadiansToDegrees), 0x404CA5DC1A63C1F8u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(kDegreesToRadians), 0x3F91DF46A2529D39u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(kPi), 0x400921FB54442D18u);
}

TEST(VexprConstants, PushedAsScalarsUntilTheStackIsFull) {
    MatrixStack stack;
    ASSERT_EQ(VexprOperator(stack, VexprOp::Pi), nullptr);
    ASSERT_EQ(VexprOperator(stack, VexprOp::RadToDeg), nullptr);
    EXPECT_EQ(stack.depth(), 2);
    EXPECT_EQ(stack.top().rows(), 1);
    EXPECT_EQ(Top(stack), std::vector<double>{kRadiansToDegrees});
    while (stack.depth() < MatrixStack::kCapacity) stack.Push();
    EXPECT_EQ(VexprOperator(stack, VexprOp::DegToRad), &kStackOverflow);
    EXPECT_EQ(stack.depth(), MatrixStack::kCapacity);
}

TEST(VexprOperator, SumsAndScaling) {
    EXPECT_EQ(Apply(VexprOp::Add, {1, 2, 3}, {4, 5, 6}), (std::vector<double>{5, 7, 9}));
    EXPECT_EQ(Apply(VexprOp::Subtract, {1, 2, 3}, {4, 5, 6}), (std::vector<double>{-3, -3, -3}));
    EXPECT_EQ(Apply(VexprOp::Scale, {1, 2, 3}, {2, 9, 9}), (std::vector<double>{2, 4, 6}));
    // A true division: multiplying by the reciprocal of 49 would give
    // 0.9999999999999999 for the first element.
    EXPECT_EQ(Apply(VexprOp::Divide, {49, 98, 147}, {49, 0, 0}), (std::vector<double>{1, 2, 3}));
}

TEST(VexprOperator, DotProductAddsYThenXThenZ) {
    EXPECT_EQ(Apply(VexprOp::Dot, {1, 2, 3}, {4, 5, 6}), std::vector<double>{32});
    // (y + x) + z = 1; adding z to x first would lose it and give 0.
    EXPECT_EQ(Apply(VexprOp::Dot, {1e16, -1e16, 1}, {1, 1, 1}), std::vector<double>{1});
}

TEST(VexprOperator, CrossProductAndMidpointAreColumns) {
    EXPECT_EQ(Apply(VexprOp::Cross, {1, 0, 0}, {0, 1, 0}), (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(Apply(VexprOp::Cross, {1.5, -2, 3}, {4, 5, -6}),
              (std::vector<double>{-3, 21, 15.5}));
    EXPECT_EQ(Apply(VexprOp::Half, {0, 0, 0}, {2, 4, 6}), (std::vector<double>{1, 2, 3}));
}

TEST(VexprOperator, LengthsAddYThenXThenZ) {
    // With these elements only z added last gives these results.
    EXPECT_EQ(Apply(VexprOp::Length, {1.1, 1.1, 3.0}), std::vector<double>{3.37934904974316});
    EXPECT_EQ(Apply(VexprOp::Distance, {1.1, 1.1, 3.0}, {0, 0, 0}),
              std::vector<double>{3.37934904974316});
    EXPECT_EQ(Apply(VexprOp::DistInvSq, {0, 0, 0}, {1.1, 1.1, 3.0}),
              std::vector<double>{0.08756567425569177});
    EXPECT_EQ(Apply(VexprOp::Distance, {0, 0, 0}, {3, 4, 0}), std::vector<double>{5});
}

TEST(VexprOperator, NormalizeMultipliesByTheReciprocal) {
    EXPECT_EQ(Apply(VexprOp::Normalize, {0, 0, 4}), (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(Apply(VexprOp::Normalize, {0, 0, 49}), (std::vector<double>{0, 0, 0.9999999999999999}));
}

TEST(VexprOperator, ZeroDivisorsFollowIeee) {
    std::vector<double> v = Apply(VexprOp::Normalize, {0, 0, 0});
    EXPECT_TRUE(std::isnan(v[0]));
    EXPECT_TRUE(std::isinf(Apply(VexprOp::DistInvSq, {1, 2, 3}, {1, 2, 3})[0]));
    EXPECT_TRUE(std::isinf(Apply(VexprOp::Divide, {1, 2, 3}, {0, 1, 1})[0]));
}

TEST(VexprOperator, InPlaceResultsKeepTheLeftShape) {
    MatrixStack stack;
    Push(stack, 4, 1, {1, 2, 3, 4});
    PushVector(stack, 1, 1, 1);
    ASSERT_EQ(VexprOperator(stack, VexprOp::Add), nullptr);
    EXPECT_EQ(Top(stack), (std::vector<double>{2, 3, 4, 4}));

    // A 3 x 2 matrix: its vector is elements 0, 1 and 2 in storage order.
    Push(stack, 3, 2, {1, 2, 3, 4, 5, 6});
    ASSERT_EQ(VexprOperator(stack, VexprOp::Normalize), nullptr);
    EXPECT_EQ(stack.top().cols(), 2);
    EXPECT_EQ(Top(stack)[3], 4.0);
    EXPECT_DOUBLE_EQ(Top(stack)[2], 3 / std::sqrt(14.0));
}

TEST(VexprOperator, NonvectorOperandsChangeNothing) {
    MatrixStack stack;
    EXPECT_EQ(VexprOperator(stack, VexprOp::Length), &kNonvectorOperand);
    PushVector(stack, 1, 2, 3);
    for (VexprOp op : {VexprOp::Add, VexprOp::Dot, VexprOp::Cross, VexprOp::Half}) {
        EXPECT_EQ(VexprOperator(stack, op), &kNonvectorOperand);  // B missing
    }
    Push(stack, 1, 3, {1, 2, 3});  // a row is not a vector
    EXPECT_EQ(VexprOperator(stack, VexprOp::Add), &kNonvectorOperand);
    EXPECT_EQ(VexprOperator(stack, VexprOp::Normalize), &kNonvectorOperand);
    stack.Pop();
    Push(stack, 1, 1, {2});  // nor is a scalar factor
    EXPECT_EQ(VexprOperator(stack, VexprOp::Scale), &kNonvectorOperand);
    EXPECT_EQ(VexprOperator(stack, VexprOp::Divide), &kNonvectorOperand);
    stack.Pop();
    Push(stack, 3, 0, {});  // three rows without elements
    EXPECT_EQ(VexprOperator(stack, VexprOp::Length), &kNonvectorOperand);
    EXPECT_EQ(VexprOperator(stack, VexprOp::Subtract), &kNonvectorOperand);
    EXPECT_EQ(stack.depth(), 2);
    stack.Pop();
    EXPECT_EQ(Top(stack), (std::vector<double>{1, 2, 3}));
}

TEST(VexprOperator, TildeIsUnimplemented) {
    MatrixStack stack;
    PushVector(stack, 1, 2, 3);
    EXPECT_EQ(VexprOperator(stack, VexprOp::Negate), &kUnimplemented);
    EXPECT_EQ(Top(stack), (std::vector<double>{1, 2, 3}));
}
