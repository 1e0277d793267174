// Unit tests of rotations, point transforms, display scaling, column
// replacement determinants and range extraction.

#include <gtest/gtest.h>

#include <vector>

#include "matrix/matrix_kernels.h"
#include "matrix/matrix_range.h"
#include "matrix/matrix_rigid.h"
#include "matrix/matrix_solve.h"

using namespace kelb;

namespace {

std::vector<double> Rotated(std::vector<double> point, double rx, double ry, double rz,
                            std::vector<double> centre = {0, 0, 0}) {
    double rotation[] = {rx, ry, rz};
    MatrixTransformVectors(point, rotation, centre.data());
    return point;
}

void ExpectNear(const std::vector<double> &actual, const std::vector<double> &expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12) << i;
}

Matrix Make(int rows, int cols, std::vector<double> values) {
    Matrix m(rows, cols);
    std::copy(values.begin(), values.end(), m.data());
    return m;
}

std::vector<double> Elements(const Matrix &m) { return {m.data(), m.data() + m.size()}; }

}  // namespace

TEST(RotationFromDegrees, RightHandedAboutEachAxis) {
    ExpectNear(Rotated({0, 1, 0}, 90, 0, 0), {0, 0, 1});   // y towards z
    ExpectNear(Rotated({0, 0, 1}, 0, 90, 0), {1, 0, 0});   // z towards x
    ExpectNear(Rotated({1, 0, 0}, 0, 0, 90), {0, 1, 0});   // x towards y
    ExpectNear(Rotated({1, 0, 0}, 0, 0, -90), {0, -1, 0});
}

TEST(RotationFromDegrees, XThenYThenZ) {
    // x first takes (0,1,0) to (0,0,1), then y takes it to (1,0,0); the
    // other order would leave (0,0,1).
    ExpectNear(Rotated({0, 1, 0}, 90, 90, 0), {1, 0, 0});
    ExpectNear(Rotated({1, 0, 0}, 0, 90, 90), {0, 0, -1});
}

TEST(RotationFromDegrees, RowVectorLayout) {
    Mat4 m;
    RotationFromDegrees(m, 30, 0, 0);
    EXPECT_DOUBLE_EQ(m.m[1][2], 0.5);   // sin a
    EXPECT_DOUBLE_EQ(m.m[2][1], -0.5);  // -sin a
    for (int j = 0; j < 3; ++j) EXPECT_EQ(m.m[3][j], 0.0);
    EXPECT_EQ(m.m[3][3], 1.0);
}

TEST(MatrixTransformVectors, RotatesAboutTheCentre) {
    ExpectNear(Rotated({2, 0, 0}, 0, 0, 180, {1, 0, 0}), {0, 0, 0});
    ExpectNear(Rotated({1, 1, 5, 2, 1, 5}, 0, 0, 90, {1, 1, 5}), {1, 1, 5, 1, 2, 5});
    // Zero angles give the points back up to the rounding of p - t + t.
    EXPECT_EQ(Rotated({1, 2, 3}, 0, 0, 0, {5, 5, 5}), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(Rotated({0.1, 0, 0}, 0, 0, 0, {0.7, 0, 0})[0], 0.09999999999999998);
}

TEST(Mat4TransformPoint, SumsYThenXThenZThenTranslation) {
    Mat4 m;
    Mat4Identity(m);
    m.m[0][0] = 1e16;
    m.m[1][0] = 1;
    m.m[2][0] = -1e16;
    double p[] = {1, 1, 1}, q[3];
    Mat4TransformPoint(q, p, m);
    // (1 + 1e16) - 1e16: the 1 is lost; adding it last would keep it.
    EXPECT_EQ(q[0], 0.0);
    Mat4TransformPoint(p, p, m);  // in place
    EXPECT_EQ(p[0], 0.0);
    EXPECT_EQ(p[1], 1.0);
}

TEST(Mat4Multiply, ResultMayBeAnOperand) {
    Mat4 a, b;
    Mat4Identity(a);
    Mat4Identity(b);
    a.m[0][1] = 2;
    b.m[1][0] = 3;
    Mat4Multiply(a, a, b);
    EXPECT_EQ(a.m[0][0], 7.0);  // 1*1 + 2*3
    EXPECT_EQ(a.m[0][1], 2.0);
    EXPECT_EQ(a.m[1][0], 3.0);
    EXPECT_EQ(a.m[3][3], 1.0);
}

TEST(MatrixCanvasScale, ScalesAndOffsetsEachAxis) {
    double points[] = {1, 2, 9, 3, 4, 9};  // two points of three numbers
    double offset[] = {10, 20}, scale[] = {2, -1}, out[4];
    MatrixCanvasScale(out, points, 2, 3, offset, scale);
    EXPECT_EQ(std::vector<double>(out, out + 4), (std::vector<double>{12, 18, 16, 16}));
}

TEST(MatrixCramer, ColumnReplacementDeterminantsUndivided) {
    double eq[] = {2, 1, 1, 3}, sol[] = {3, 5}, r[2];
    MatrixCramer(r, eq, sol, 2);
    EXPECT_EQ(std::vector<double>(r, r + 2), (std::vector<double>{4, 7}));
    double singular[] = {1, 2, 2, 4}, ones[] = {1, 1};
    MatrixCramer(r, singular, ones, 2);
    EXPECT_EQ(std::vector<double>(r, r + 2), (std::vector<double>{2, -1}));
    double one[] = {5}, ten[] = {10}, r1[1];
    MatrixCramer(r1, one, ten, 1);
    EXPECT_EQ(r1[0], 10.0);
}

TEST(MatrixCramer, LargerSystemsSolveOnceDivided) {
    // x = (1, -2, 3, 0.5, 2) for a diagonally dominant 5 x 5 system.
    double eq[25] = {9, 1, 2, 0, 1, 1, 8, 1, 2, 0, 2, 1, 7, 1, 1, 0, 2, 1, 9, 1, 1, 0, 1, 1, 6};
    double x[5] = {1, -2, 3, 0.5, 2}, b[5], r[5];
    MatrixMultiply(b, eq, x, 5, 5, 1);
    MatrixCramer(r, eq, b, 5);
    double det = MatrixDeterminant(eq, 5);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(r[i] / det, x[i], 1e-12);
    EXPECT_EQ(eq[0], 9.0);  // the equations are not changed
    EXPECT_EQ(eq[24], 6.0);
}

TEST(MatrixExtractRange, ClampsOrdersAndCopies) {
    Matrix m = Make(3, 3, {0, 1, 2, 10, 11, 12, 20, 21, 22});
    Matrix block;
    MatrixRange r{0, 1, 1, 2};  // rows 1..2, positions 0..1
    MatrixExtractRange(block, m, r);
    EXPECT_EQ(block.rows(), 2);
    EXPECT_EQ(Elements(block), (std::vector<double>{10, 11, 20, 21}));

    r = {kRangeEnd, 0, 0, kRangeEnd};  // "end" is the last; then ordered
    MatrixExtractRange(block, m, r);
    EXPECT_EQ(Elements(block), Elements(m));
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 2);

    r = {-5, 0, 0, 0};  // a negative index is the last one, never the first
    MatrixExtractRange(block, m, r);
    EXPECT_EQ(Elements(block), (std::vector<double>{0, 1, 2}));

    r = {99, 99, 1, 99};  // past the end is the last as well
    MatrixExtractRange(block, m, r);
    EXPECT_EQ(block.rows(), 1);
    EXPECT_EQ(Elements(block), (std::vector<double>{21, 22}));
}

TEST(MatrixClampRange, ColumnsAndRowsClampSeparately) {
    MatrixRange r{5, 5, 5, 5};
    MatrixClampRange(r, 4, 2);  // 4 rows of 2
    EXPECT_EQ(r.left, 3);
    EXPECT_EQ(r.top, 1);
}

TEST(MatrixEuclideanLength, RootOfTheSumOfSquares) {
    double v[] = {3, 4}, none[1] = {0};
    EXPECT_EQ(MatrixEuclideanLength(v), 5.0);
    EXPECT_EQ(MatrixEuclideanLength({none, 0}), 0.0);
}
