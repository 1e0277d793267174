// fuzz_matrix_kernels.cpp --
//
//     The numeric kernels on matrices of every order up to 8 and special
//     doubles: determinants, adjoints, inverses, products, transposes,
//     Cramer's rule, ranges, rigid transforms and canvas scaling, and the
//     check for canonical number text. The sanitizer watches every read
//     and write; the checks below hold whatever the values.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "matrix/double_text.h"
#include "matrix/matrix_kernels.h"
#include "matrix/matrix_range.h"
#include "matrix/matrix_rigid.h"
#include "matrix/matrix_solve.h"
#include "matrix/matrix_value.h"

using namespace kelb;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::vector<double> Elements(kelbfuzz::Input &in, std::size_t count) {
    std::vector<double> v(count);
    for (double &x : v) x = in.Double();
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    kelbfuzz::Input in(data, size);
    const int n = 1 + static_cast<int>(in.Below(8));
    const int m = 1 + static_cast<int>(in.Below(8));
    const std::vector<double> a = Elements(in, static_cast<std::size_t>(n) * n);
    const std::vector<double> b = Elements(in, static_cast<std::size_t>(n) * m);
    std::vector<double> out(static_cast<std::size_t>(n) * std::max(n, m), 7.0);

    switch (in.Below(9)) {
    case 0: (void)MatrixDeterminant(a.data(), n); break;
    case 1: MatrixAdjoint(out.data(), a.data(), n); break;
    case 2: {
        const bool inverted = MatrixInverse(out.data(), a.data(), n);
        if (!inverted) Check(MatrixDeterminant(a.data(), n) == 0.0);
        break;
    }
    case 3: MatrixMultiply(out.data(), a.data(), b.data(), n, n, m); break;
    case 4: MatrixTranspose(out.data(), b.data(), n, m); break;
    case 5: {
        std::vector<double> result(n);
        MatrixCramer(result.data(), a.data(), b.data(), n);
        break;
    }
    case 6: {
        Matrix source(n, m);
        for (int i = 0; i < n * m; ++i) source.data()[i] = b[i];
        MatrixRange range{static_cast<int>(in.Below(12)) - 2, static_cast<int>(in.Below(12)) - 2,
                          static_cast<int>(in.Below(12)) - 2, static_cast<int>(in.Below(12)) - 2};
        Matrix block;
        MatrixExtractRange(block, source, range);
        for (double x : block.elements()) (void)x;
        break;
    }
    case 7: {
        std::vector<double> points = Elements(in, 3 * static_cast<std::size_t>(m));
        const double rotation[3] = {in.Double(), in.Double(), in.Double()};
        const double centre[3] = {in.Double(), in.Double(), in.Double()};
        MatrixTransformVectors(points, rotation, centre);
        const double offset[2] = {in.Double(), in.Double()};
        const double scale[2] = {in.Double(), in.Double()};
        std::vector<double> scaled(2 * static_cast<std::size_t>(m));
        MatrixCanvasScale(scaled.data(), points.data(), m, 3, offset, scale);
        break;
    }
    case 8: {
        // Tcl strings end in a NUL, which the check relies on.
        const std::string text(in.Text(64));
        (void)IsCanonicalDoubleText(text.c_str(), text.size());
        break;
    }
    }
    std::vector<double> negated(b.size());
    MatrixNegate(negated, b);
    MatrixReciprocal(negated, negated);
    MatrixScale(negated, negated, in.Double());
    (void)MatrixEuclideanLength(b);
    return 0;
}
