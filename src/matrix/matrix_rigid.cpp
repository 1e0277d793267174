// matrix_rigid.cpp --
//
//     Rotation matrices, point transforms and the display scaling.

#include "matrix/matrix_rigid.h"

#include <cmath>

#include "matrix/matrix_kernels.h"

namespace kelb {

void Mat4Identity(Mat4 &result) noexcept {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) result.m[i][j] = i == j ? 1.0 : 0.0;
    }
}

void Mat4Multiply(Mat4 &result, const Mat4 &left, const Mat4 &right) noexcept {
    Mat4 product;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += left.m[i][k] * right.m[k][j];
            product.m[i][j] = sum;
        }
    }
    result = product;
}

void Mat4TransformPoint(double q[3], const double p[3], const Mat4 &m) noexcept {
    double x = p[1] * m.m[1][0] + p[0] * m.m[0][0] + p[2] * m.m[2][0] + m.m[3][0];
    double y = p[1] * m.m[1][1] + p[0] * m.m[0][1] + p[2] * m.m[2][1] + m.m[3][1];
    double z = p[1] * m.m[1][2] + p[0] * m.m[0][2] + p[2] * m.m[2][2] + m.m[3][2];
    q[0] = x;
    q[1] = y;
    q[2] = z;
}

void RotationFromDegrees(Mat4 &result, double rx, double ry, double rz) noexcept {
    const double a = rx * kDegreesToRadians;
    const double b = ry * kDegreesToRadians;
    const double c = rz * kDegreesToRadians;

    // About x: +y turns towards +z.
    Mat4Identity(result);
    result.m[1][1] = std::cos(a);
    result.m[1][2] = std::sin(a);
    result.m[2][1] = -std::sin(a);
    result.m[2][2] = std::cos(a);

    // About y: +z turns towards +x.
    Mat4 y;
    Mat4Identity(y);
    y.m[0][0] = std::cos(b);
    y.m[0][2] = -std::sin(b);
    y.m[2][0] = std::sin(b);
    y.m[2][2] = std::cos(b);
    Mat4Multiply(result, result, y);

    // About z: +x turns towards +y.
    Mat4 z;
    Mat4Identity(z);
    z.m[0][0] = std::cos(c);
    z.m[0][1] = std::sin(c);
    z.m[1][0] = -std::sin(c);
    z.m[1][1] = std::cos(c);
    Mat4Multiply(result, result, z);
}

void MatrixTransformVectors(std::span<double> points, const double rotation[3],
                            const double centre[3]) noexcept {
    Mat4 m;
    RotationFromDegrees(m, rotation[0], rotation[1], rotation[2]);
    for (std::size_t i = 0; i + 3 <= points.size(); i += 3) {
        double *p = &points[i];
        for (int k = 0; k < 3; ++k) p[k] = p[k] - centre[k];
        Mat4TransformPoint(p, p, m);
        for (int k = 0; k < 3; ++k) p[k] = p[k] + centre[k];
    }
}

void MatrixCanvasScale(double *out, const double *points, std::size_t count, std::size_t stride,
                       const double offset[2], const double scale[2]) noexcept {
    for (std::size_t i = 0; i < count; ++i, points += stride) {
        out[2 * i] = scale[0] * points[0] + offset[0];
        out[2 * i + 1] = scale[1] * points[1] + offset[1];
    }
}

}  // namespace kelb
