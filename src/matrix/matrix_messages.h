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

// Values and the matrix calculator.
inline constexpr MatrixFailure kColumnsNotUniform{"Columns Not Uniform", kColumnsCondition};
inline constexpr MatrixFailure kEmptyMatrix{"Empty Matrix", kEmptyCondition};
inline constexpr MatrixFailure kSingularMatrix{"Singular Matrix in Inverse", kSingularCondition};
inline constexpr MatrixFailure kStackOverflow{"Matrix Stack Overflow", kOverflowCondition};
inline constexpr MatrixFailure kUnimplemented{"Unimplemented Command", kUnimplementedCondition};
inline constexpr MatrixFailure kNonConforming{"Non-Conforming Argumemts", kNonConformingCondition};
inline constexpr MatrixFailure kMissingSumOperand{"Missing Op: <A> <B> +", kMissingCondition};
inline constexpr MatrixFailure kMissingProductOperand{"Missing Op: <A> <B> *", kMissingCondition};
inline constexpr MatrixFailure kMissingScaleOperand{"Missing Operands: <matrix> <scaler> *",
                                                    kMissingCondition};
inline constexpr MatrixFailure kMissingDivideOperand{"Missing Operands: <matrix> <scaler> /",
                                                     kMissingCondition};
inline constexpr MatrixFailure kMissingOpcode{"Missing Opcode", kMissingCondition};
inline constexpr MatrixFailure kInvertNonSquare{"Tried to invert non-square matrix",
                                                kNotSquareCondition};
inline constexpr MatrixFailure kNotSquare{"Argument Must be Square", kNotSquareCondition};

// Vector calculator and the matrix command.
inline constexpr MatrixFailure kNonvectorOperand{"Nonvector operand", kNonvectorCondition};
inline constexpr MatrixFailure kRangeTooShort{"Range must be: {top left bottom right}",
                                              kRangeCondition};
inline constexpr MatrixFailure kSolutionNotColumn{"Solution argument must be a row matrix",
                                                  kShapeCondition};
inline constexpr MatrixFailure kSolutionRowsDiffer{
    "Solution and matrix must have the same number of rows", kShapeCondition};
inline constexpr MatrixFailure kEquationsNotSquare{"Matrix must be square", kNotSquareCondition};
inline constexpr MatrixFailure kTranslationNotVector{"Translation must be a vector",
                                                     kNonvectorCondition};
inline constexpr MatrixFailure kRotationNotVector{"Rotation must be a vector",
                                                  kNonvectorCondition};
inline constexpr MatrixFailure kPointsNot3Columns{"Vector arguments must be 3x1", kShapeCondition};
inline constexpr MatrixFailure kOffsetTooShort{"Offset must hold x and y", kShapeCondition};
inline constexpr MatrixFailure kScaleTooShort{"Scale must hold x and y", kShapeCondition};
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
