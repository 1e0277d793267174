// matrix_messages.h --
//
//     The fixed failures of the matrix module: each message, spelled as
//     scripts see it, paired with the condition of its error code
//     {KELB MATRIX <condition>}. A failure inside the module is reported as
//     a pointer to one of these (MatrixError); a null pointer means
//     success. The conditions form a closed list, documented in the ERRORS
//     sections of the mexpr, vexpr and matrix manual pages.

#pragma once

#include "core/failure.h"

namespace kelb {

using MatrixFailure = Failure;

using MatrixError = const MatrixFailure *;

// The conditions.
inline constexpr const char *kBadArgumentCondition = "BAD_ARGUMENT";
inline constexpr const char *kColumnsCondition = "COLUMNS_NOT_UNIFORM";
inline constexpr const char *kEmptyCondition = "EMPTY";
inline constexpr const char *kSingularCondition = "SINGULAR";
inline constexpr const char *kOverflowCondition = "STACK_OVERFLOW";
inline constexpr const char *kUnimplementedCondition = "UNIMPLEMENTED";
inline constexpr const char *kNonConformingCondition = "NONCONFORMING";
inline constexpr const char *kMissingCondition = "MISSING_OPERAND";
inline constexpr const char *kNotSquareCondition = "NOT_SQUARE";
inline constexpr const char *kNonvectorCondition = "NONVECTOR";
inline constexpr const char *kRangeCondition = "RANGE";
inline constexpr const char *kShapeCondition = "SHAPE";

// The rows, each with when it is raised.
//
// A matrix argument whose rows differ in length.
inline constexpr MatrixFailure kColumnsNotUniform{"Columns Not Uniform", kColumnsCondition};
// A matrix with no rows, or a range of rows with no elements.
inline constexpr MatrixFailure kEmptyMatrix{"Empty Matrix", kEmptyCondition};
// inverse of a matrix that has none.
inline constexpr MatrixFailure kSingularMatrix{"Singular Matrix in Inverse", kSingularCondition};
// A calculator stack already full when an operand or result is pushed.
inline constexpr MatrixFailure kStackOverflow{"Matrix Stack Overflow", kOverflowCondition};
// A reserved name of the matrix command, or an operator without a body.
inline constexpr MatrixFailure kUnimplemented{"Unimplemented Command", kUnimplementedCondition};
// Operands whose shapes the operator cannot combine.
inline constexpr MatrixFailure kNonConforming{"Non-Conforming Argumemts", kNonConformingCondition};
// + or - with fewer than two entries on the stack.
inline constexpr MatrixFailure kMissingSumOperand{"Missing Op: <A> <B> +", kMissingCondition};
// *. with fewer than two entries on the stack.
inline constexpr MatrixFailure kMissingProductOperand{"Missing Op: <A> <B> *", kMissingCondition};
// Scaling (*) without two entries, or by an entry with no element.
inline constexpr MatrixFailure kMissingScaleOperand{"Missing Operands: <matrix> <scaler> *",
                                                    kMissingCondition};
// Division (/) without two entries, or by an entry with no element.
inline constexpr MatrixFailure kMissingDivideOperand{"Missing Operands: <matrix> <scaler> /",
                                                     kMissingCondition};
// transpose, inverse or adjoint with fewer than two entries on the stack.
inline constexpr MatrixFailure kMissingOpcode{"Missing Opcode", kMissingCondition};
// inverse or adjoint of a matrix that is not square.
inline constexpr MatrixFailure kInvertNonSquare{"Tried to invert non-square matrix",
                                                kNotSquareCondition};
// determinate of a matrix that is not square, or of an empty stack.
inline constexpr MatrixFailure kNotSquare{"Argument Must be Square", kNotSquareCondition};
// A vector operator or matrix length given something other than one column.
inline constexpr MatrixFailure kNonvectorOperand{"Nonvector operand", kNonvectorCondition};
// matrix range with a range list of fewer than four elements.
inline constexpr MatrixFailure kRangeTooShort{"Range must be: {top left bottom right}",
                                              kRangeCondition};
// matrix cramer solutions that are not one column.
inline constexpr MatrixFailure kSolutionNotColumn{"Solution argument must be a row matrix",
                                                  kShapeCondition};
// matrix cramer solutions and equations with different numbers of rows.
inline constexpr MatrixFailure kSolutionRowsDiffer{
    "Solution and matrix must have the same number of rows", kShapeCondition};
// matrix cramer equations that are not square.
inline constexpr MatrixFailure kEquationsNotSquare{"Matrix must be square", kNotSquareCondition};
// matrix transform with a centre that is not three numbers.
inline constexpr MatrixFailure kTranslationNotVector{"Translation must be a vector",
                                                     kNonvectorCondition};
// matrix transform with angles that are not three numbers.
inline constexpr MatrixFailure kRotationNotVector{"Rotation must be a vector",
                                                  kNonvectorCondition};
// matrix transform with points whose rows are not three numbers.
inline constexpr MatrixFailure kPointsNot3Columns{"Vector arguments must be 3x1", kShapeCondition};
// matrix canscale with an offset of fewer than two numbers.
inline constexpr MatrixFailure kOffsetTooShort{"Offset must hold x and y", kShapeCondition};
// matrix canscale with a scale of fewer than two numbers.
inline constexpr MatrixFailure kScaleTooShort{"Scale must hold x and y", kShapeCondition};
// matrix canscale with points of fewer than two numbers.
inline constexpr MatrixFailure kPointsTooShort{"Points must hold x and y", kShapeCondition};

// An operand mexpr cannot read; the operand follows the message, and the
// code replaces whatever the failed reading left.
inline constexpr MatrixFailure kBadArgument{"Bad Argument: ", kBadArgumentCondition};

// Every condition above, for the check against the manual pages.
inline constexpr const char *kMatrixConditions[] = {
    kBadArgumentCondition, kColumnsCondition,       kEmptyCondition,    kSingularCondition,
    kOverflowCondition,    kUnimplementedCondition, kNonConformingCondition, kMissingCondition,
    kNotSquareCondition,   kNonvectorCondition,     kRangeCondition,    kShapeCondition,
};

}  // namespace kelb
