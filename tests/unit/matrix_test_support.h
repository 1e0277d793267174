// matrix_test_support.h --
//
//     Helpers shared by the unit tests of the calculators' operators.

#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "matrix/matrix_stack.h"

namespace kelb::testing {

// Pushes a rows x cols matrix holding values, in row-major order.
inline void Push(MatrixStack &stack, int rows, int cols, std::vector<double> values) {
    Matrix *m = stack.Push();
    ASSERT_NE(m, nullptr);
    m->Reshape(rows, cols);
    std::copy(values.begin(), values.end(), m->data());
}

// The elements of the top entry.
inline std::vector<double> Top(MatrixStack &stack) {
    return {stack.top().data(), stack.top().data() + stack.top().size()};
}

}  // namespace kelb::testing
