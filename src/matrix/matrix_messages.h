// matrix_messages.h --
//
//     The fixed failure messages of the matrix module, spelled as scripts
//     see them. A failure inside the module is reported as a pointer to one
//     of these (MatrixError); a null pointer means success.

#pragma once

namespace kelb {

using MatrixError = const char *;

inline constexpr MatrixError kColumnsNotUniform = "Columns Not Uniform";
inline constexpr MatrixError kEmptyMatrix = "Empty Matrix";
inline constexpr MatrixError kSingularMatrix = "Singular Matrix in Inverse";
inline constexpr MatrixError kStackOverflow = "Matrix Stack Overflow";
inline constexpr MatrixError kUnimplemented = "Unimplemented Command";
inline constexpr MatrixError kNonConforming = "Non-Conforming Argumemts";
inline constexpr MatrixError kMissingSumOperand = "Missing Op: <A> <B> +";
inline constexpr MatrixError kMissingProductOperand = "Missing Op: <A> <B> *";
inline constexpr MatrixError kMissingScaleOperand = "Missing Operands: <matrix> <scaler> *";
inline constexpr MatrixError kMissingDivideOperand = "Missing Operands: <matrix> <scaler> /";
inline constexpr MatrixError kMissingOpcode = "Missing Opcode";
inline constexpr MatrixError kInvertNonSquare = "Tried to invert non-square matrix";
inline constexpr MatrixError kNotSquare = "Argument Must be Square";

// Vector calculator and the matrix command.
inline constexpr MatrixError kNonvectorOperand = "Nonvector operand";
inline constexpr MatrixError kRangeTooShort = "Range must be: {top left bottom right}";
inline constexpr MatrixError kSolutionNotColumn = "Solution argument must be a row matrix";
inline constexpr MatrixError kSolutionRowsDiffer =
    "Solution and matrix must have the same number of rows";
inline constexpr MatrixError kEquationsNotSquare = "Matrix must be square";
inline constexpr MatrixError kTranslationNotVector = "Translation must be a vector";
inline constexpr MatrixError kRotationNotVector = "Rotation must be a vector";
inline constexpr MatrixError kPointsNot3Columns = "Vector arguments must be 3x1";
inline constexpr MatrixError kOffsetTooShort = "Offset must hold x and y";
inline constexpr MatrixError kScaleTooShort = "Scale must hold x and y";
inline constexpr MatrixError kPointsTooShort = "Points must hold x and y";

// Prefix of the message for an operand mexpr cannot read.
inline constexpr const char *kBadArgumentPrefix = "Bad Argument: ";

}  // namespace kelb
