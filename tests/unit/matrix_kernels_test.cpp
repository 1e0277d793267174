// Unit tests of the matrix kernels and of Matrix storage.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "matrix/matrix_kernels.h"
#include "matrix/matrix_value.h"

using namespace kelb;

namespace {

Matrix Make(int rows, int cols, std::vector<double> values) {
    Matrix m(rows, cols);
    std::copy(values.begin(), values.end(), m.data());
    return m;
}

std::vector<double> Elements(const Matrix &m) {
    return {m.data(), m.data() + m.size()};
}

}  // namespace

TEST(MatrixDeterminant, SmallOrdersUseTheExplicitFormulas) {
    double two[] = {1, 2, 3, 4};
    EXPECT_EQ(MatrixDeterminant(two, 2), -2.0);
    double three[] = {2, 0, 1, 1, 3, 2, 1, 1, 2};
    EXPECT_EQ(MatrixDeterminant(three, 3), 6.0);
    double one[] = {-7.5};
    EXPECT_EQ(MatrixDeterminant(one, 1), -7.5);
}

TEST(MatrixDeterminant, SarrusSumsDiagonalsFromColumnOne) {
    // With these magnitudes the order of the additions shows in the last
    // bits: starting the diagonals at column 0 would give a different sum.
    // Starting the diagonals at column 0 or 2 gives 1.6999999999999984e16.
    double e[] = {1e16, 3, 0.3, 7, 2, 0.1, 1, 3, 1};
    EXPECT_EQ(MatrixDeterminant(e, 3), 1.6999999999999986e16);
}

TEST(MatrixDeterminant, HigherOrdersByElimination) {
    double swapped[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(MatrixDeterminant(swapped, 4), -1.0);
    double singular[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 1, 0, 1, 0};
    EXPECT_EQ(MatrixDeterminant(singular, 4), 0.0);
    // A 5 x 5 upper-triangular matrix: the product of the diagonal.
    double tri[25] = {2, 1, 1, 1, 1, 0, 3, 1, 1, 1, 0, 0, 4, 1, 1, 0, 0, 0, 5, 1, 0, 0, 0, 0, 6};
    EXPECT_DOUBLE_EQ(MatrixDeterminant(tri, 5), 720.0);
}

TEST(MatrixAdjoint, ClassicalAdjugate) {
    double src[] = {1, 2, 3, 4}, dst[4];
    MatrixAdjoint(dst, src, 2);
    EXPECT_EQ(std::vector<double>(dst, dst + 4), (std::vector<double>{4, -2, -3, 1}));
    double one[] = {9}, adj1[1];
    MatrixAdjoint(adj1, one, 1);
    EXPECT_EQ(adj1[0], 1.0);
}

TEST(MatrixAdjoint, TimesMatrixIsDeterminantTimesIdentity) {
    double a[16] = {4, 1, 2, 0, 1, 5, 1, 2, 2, 1, 6, 1, 0, 2, 1, 7};
    double adj[16], product[16];
    MatrixAdjoint(adj, a, 4);
    MatrixMultiply(product, a, adj, 4, 4, 4);
    double det = MatrixDeterminant(a, 4);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(product[i * 4 + j], i == j ? det : 0.0, 1e-9);
    }
}

TEST(MatrixInverse, SignedZerosAndSingularity) {
    double diag[] = {2, 0, 0, 4}, inv[4] = {7, 7, 7, 7};
    ASSERT_TRUE(MatrixInverse(inv, diag, 2));
    EXPECT_EQ(inv[0], 0.5);
    EXPECT_EQ(inv[3], 0.25);
    EXPECT_TRUE(inv[1] == 0.0 && std::signbit(inv[1]));
    EXPECT_TRUE(inv[2] == 0.0 && std::signbit(inv[2]));

    double singular[] = {1, 2, 2, 4}, untouched[4] = {7, 7, 7, 7};
    EXPECT_FALSE(MatrixInverse(untouched, singular, 2));
    EXPECT_EQ(untouched[0], 7.0);

    double scalar[] = {4}, r[1];
    ASSERT_TRUE(MatrixInverse(r, scalar, 1));
    EXPECT_EQ(r[0], 0.25);
}

TEST(MatrixKernels, ElementwiseInPlace) {
    Matrix m = Make(1, 3, {1, -2, 0});
    MatrixNegate(m.elements(), m.elements());
    EXPECT_EQ(Elements(m), (std::vector<double>{-1, 2, -0.0}));
    MatrixReciprocal(m.elements(), m.elements());
    EXPECT_EQ(m.data()[0], -1.0);
    EXPECT_TRUE(std::isinf(m.data()[2]) && m.data()[2] < 0);
    MatrixScale(m.elements(), m.elements(), 4.0);
    EXPECT_EQ(m.data()[1], 2.0);
}

TEST(MatrixKernels, MultiplyAndTranspose) {
    double a[] = {1, 2, 3, 4, 5, 6};  // 2 x 3
    double t[6];
    MatrixTranspose(t, a, 2, 3);
    EXPECT_EQ(std::vector<double>(t, t + 6), (std::vector<double>{1, 4, 2, 5, 3, 6}));
    double p[4];
    MatrixMultiply(p, a, t, 2, 3, 2);
    EXPECT_EQ(std::vector<double>(p, p + 4), (std::vector<double>{14, 32, 32, 77}));
}

TEST(MatrixValue, MovesKeepElementsInlineAndOnTheHeap) {
    Matrix small = Make(2, 2, {1, 2, 3, 4});
    Matrix big(10, 10);
    for (std::size_t i = 0; i < big.size(); ++i) big.data()[i] = double(i);
    small.Swap(big);
    EXPECT_EQ(small.rows(), 10);
    EXPECT_EQ(small.at(9, 9), 99.0);
    EXPECT_EQ(Elements(big), (std::vector<double>{1, 2, 3, 4}));

    Matrix moved(std::move(small));
    EXPECT_EQ(moved.at(3, 4), 34.0);
    EXPECT_EQ(small.size(), 0u);
    moved.SetScalar(5);
    EXPECT_EQ(moved.rows(), 1);
    EXPECT_EQ(moved.data()[0], 5.0);
    moved.Release();
    EXPECT_EQ(moved.size(), 0u);
}
