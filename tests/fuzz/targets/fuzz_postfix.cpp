// fuzz_postfix.cpp --
//
//     The operators of both postfix calculators on an evaluation stack
//     filled with operands of every shape (empty, scalars, vectors, rows,
//     up to 7 x 7) and special doubles. A failed operator must leave the
//     stack's entries valid; nothing may read or write outside them.

#include <cstdint>
#include <cstdlib>
#include <new>

#include "fuzz_input.h"
#include "matrix/mexpr_operators.h"
#include "matrix/vexpr_operators.h"

using namespace kelb;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void PushOperand(MatrixStack &stack, kelbfuzz::Input &in) {
    const int rows = static_cast<int>(in.Below(8));
    const int cols = rows == 0 ? 0 : static_cast<int>(in.Below(8));
    Matrix *entry = stack.Push();
    if (entry == nullptr) return;  // a 65th operand is refused
    entry->Reshape(rows, cols);
    for (double &element : entry->elements()) element = in.Double();
}

// Every element of every entry is read, so that the sanitizer sees an
// entry whose shape promises more elements than it holds.
double Touch(MatrixStack &stack) {
    double sum = 0;
    for (int depth = stack.depth(); depth > 0; --depth) {
        Matrix &top = stack.top();
        Check(top.rows() >= 0 && top.cols() >= 0);
        for (double element : top.elements()) sum += element;
        stack.Pop();
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    kelbfuzz::Input in(data, size);
    const bool vector = in.Below(2) == 1;
    MatrixStack stack;
    try {
        for (int steps = 0; steps < 300 && !in.empty(); ++steps) {
            if (in.Below(3) == 0) {
                PushOperand(stack, in);
                continue;
            }
            const int before = stack.depth();
            if (vector) {
                const MatrixError error = VexprOperator(stack, static_cast<VexprOp>(in.Below(15)));
                if (error != nullptr) Check(stack.depth() == before);
            } else {
                (void)MexprOperator(stack, static_cast<MexprOp>(in.Below(13)));
            }
            Check(stack.depth() >= 0 && stack.depth() <= MatrixStack::kCapacity);
        }
    } catch (const std::bad_alloc &) {
    }
    volatile double sink = Touch(stack);
    (void)sink;
    return 0;
}
