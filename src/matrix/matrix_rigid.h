// matrix_rigid.h --
//
//     Rigid rotations of 3-D points about a centre, and the per-axis scale
//     and offset that maps 2-D points to display coordinates.
//
//     Mat4 is used in the row-vector convention: a point is the row
//     [x y z 1] multiplied on the left of the matrix, so the fourth row is
//     the translation part. Sums are taken in a fixed order and rounded to
//     doubles at every step, so that results are reproducible bit for bit.

#pragma once

#include <cstddef>
#include <span>

namespace kelb {

struct Mat4 {
    double m[4][4];
};

void Mat4Identity(Mat4 &result) noexcept;

// result = left . right, each element summed over k in order from 0.0;
// result may be left or right.
void Mat4Multiply(Mat4 &result, const Mat4 &left, const Mat4 &right) noexcept;

// q = [p 1] . m for the first three coordinates, each summed as
// p[1] m[1][j] + p[0] m[0][j] + p[2] m[2][j] + m[3][j]; q may be p.
void Mat4TransformPoint(double q[3], const double p[3], const Mat4 &m) noexcept;

// The rotation by rx about x, then ry about y, then rz about z (degrees,
// fixed right-handed axes): X . Y . Z in the row-vector convention.
void RotationFromDegrees(Mat4 &result, double rx, double ry, double rz) noexcept;

// Rotates every point (3 doubles each, in place) about centre by the
// angles rotation (degrees, as RotationFromDegrees): p becomes
// R (p - centre) + centre, each step rounded to a double.
void MatrixTransformVectors(std::span<double> points, const double rotation[3],
                            const double centre[3]) noexcept;

// For count points whose x and y are points[i*stride] and
// points[i*stride + 1]: out[2i] = scale[0] x + offset[0] and out[2i+1] =
// scale[1] y + offset[1].
void MatrixCanvasScale(double *out, const double *points, std::size_t count, std::size_t stride,
                       const double offset[2], const double scale[2]) noexcept;

}  // namespace kelb
