// Unit tests of the matrix calculator's operators on a stack.

#include <gtest/gtest.h>

#include <vector>

#include "matrix/mexpr_operators.h"
#include "matrix_test_support.h"

using namespace kelb;
using kelb::testing::Push;
using kelb::testing::Top;

TEST(MexprOperator, OperandCountChecks) {
    MatrixStack stack;
    EXPECT_EQ(MexprOperator(stack, MexprOp::Negate), nullptr);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Reciprocal), nullptr);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Determinant), &kNotSquare);
    Push(stack, 2, 2, {1, 2, 3, 4});
    EXPECT_EQ(MexprOperator(stack, MexprOp::Add), &kMissingSumOperand);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Subtract), &kMissingSumOperand);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Product), &kMissingProductOperand);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Scale), &kMissingScaleOperand);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Divide), &kMissingDivideOperand);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Transpose), &kMissingOpcode);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Inverse), &kMissingOpcode);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Adjoint), &kMissingOpcode);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Cross), &kUnimplemented);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Noop), &kUnimplemented);
    EXPECT_EQ(stack.depth(), 1);
    EXPECT_EQ(Top(stack), (std::vector<double>{1, 2, 3, 4}));
}

TEST(MexprOperator, ProductNeedsTransposedShapes) {
    MatrixStack stack;
    Push(stack, 2, 3, {1, 2, 3, 4, 5, 6});
    Push(stack, 3, 4, std::vector<double>(12, 1.0));
    EXPECT_EQ(MexprOperator(stack, MexprOp::Product), &kNonConforming);
    stack.Pop();
    Push(stack, 3, 2, {1, 0, 0, 1, 1, 1});
    ASSERT_EQ(MexprOperator(stack, MexprOp::Product), nullptr);
    EXPECT_EQ(stack.depth(), 1);
    EXPECT_EQ(stack.top().rows(), 2);
    EXPECT_EQ(Top(stack), (std::vector<double>{4, 5, 10, 11}));
}

TEST(MexprOperator, ScaleAndDivideUseTheFirstElement) {
    MatrixStack stack;
    Push(stack, 1, 2, {1, 2});
    Push(stack, 2, 1, {4, 100});
    ASSERT_EQ(MexprOperator(stack, MexprOp::Divide), nullptr);
    EXPECT_EQ(Top(stack), (std::vector<double>{0.25, 0.5}));
    Push(stack, 1, 0, {});
    EXPECT_EQ(MexprOperator(stack, MexprOp::Scale), &kMissingScaleOperand);
}

TEST(MexprOperator, SquareOnlyOperators) {
    MatrixStack stack;
    Push(stack, 1, 1, {0});
    Push(stack, 2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(MexprOperator(stack, MexprOp::Inverse), &kInvertNonSquare);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Adjoint), &kInvertNonSquare);
    EXPECT_EQ(MexprOperator(stack, MexprOp::Determinant), &kNotSquare);
    ASSERT_EQ(MexprOperator(stack, MexprOp::Transpose), nullptr);
    EXPECT_EQ(stack.top().rows(), 3);
    EXPECT_EQ(Top(stack), (std::vector<double>{1, 4, 2, 5, 3, 6}));
}

TEST(MexprOperator, LargeResultsLeaveTheInlineStorage) {
    MatrixStack stack;
    Push(stack, 1, 1, {0});
    std::vector<double> identity(36, 0.0);
    for (int i = 0; i < 6; ++i) identity[i * 6 + i] = 2.0;
    Push(stack, 6, 6, identity);
    ASSERT_EQ(MexprOperator(stack, MexprOp::Inverse), nullptr);
    EXPECT_DOUBLE_EQ(stack.top().at(5, 5), 0.5);
    ASSERT_EQ(MexprOperator(stack, MexprOp::Determinant), nullptr);
    EXPECT_DOUBLE_EQ(Top(stack)[0], 1.0 / 64);
}

TEST(MatrixStack, HoldsSixtyFourEntries) {
    MatrixStack stack;
    for (int i = 0; i < MatrixStack::kCapacity; ++i) ASSERT_NE(stack.Push(), nullptr);
    EXPECT_EQ(stack.Push(), nullptr);
    EXPECT_EQ(stack.depth(), 64);
}
