// matrix_obj.cpp --
//
//     Conversion of matrices from and to Tcl values.

#include "matrix/matrix_obj.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>

#include <string_view>

#include "core/tcl_support.h"
#include "core/thread_data.h"
#include "matrix/double_text.h"
#include "matrix/matrix_fail.h"

namespace kelb {

namespace {

// The type of a value Tcl makes, taken before the value is freed.
const Tcl_ObjType *TypeOf(Tcl_Obj *fresh) {
    ObjRef value(fresh);
    return value.get()->typePtr;
}

// Tcl's own types of integers, doubles and lists, taken from values Tcl
// makes: Tcl 9 no longer registers "int" by name, and a null type would
// match every untyped value. Every interpreter of the process has the
// same ones. Set once by the first MatrixObjInit of the process; every
// thread runs a MatrixObjInit (through std::call_once, which orders the
// setting before it) before any command of the module, so commands read
// them as plain constants.
struct ObjTypes {
    const Tcl_ObjType *intType;
    const Tcl_ObjType *doubleType;
    const Tcl_ObjType *listType;
};
// Owned by the module; written once under objTypesSet, then read by any thread.
constinit ObjTypes objTypes{};
std::once_flag objTypesSet;

ObjTypes MakeObjTypes() {
    Tcl_Obj *element = Tcl_NewObj();
    return {TypeOf(Tcl_NewWideIntObj(0)), TypeOf(Tcl_NewDoubleObj(0.0)),
            TypeOf(Tcl_NewListObj(1, &element))};
}

// Whether Tcl writes doubles in their shortest form on this thread, as it
// does unless a script sets tcl_precision. Reading that variable is costly
// (it is traced), so the matrix module watches writes to it instead, in
// every interpreter that loads the module, and keeps the answer in Tcl's
// thread data (a thread_local of a loaded library trips the leak checker
// when threads end). threadsWithPrecision counts the threads where the
// answer is no (a thread that ends so stays counted); while it is 0 no
// thread needs to look its own answer up.
struct PrecisionState {
    bool notShortest;  // Tcl zero-fills new thread data: shortest
};
constinit ThreadData<PrecisionState> precision;
// Owned by the module; counted up atomically by any thread, read by all.
constinit std::atomic<int> threadsWithPrecision{0};

bool &ThreadWritesNonShortest() { return precision->notShortest; }

void SetWritesShortestDoubles(bool shortest) {
    bool &notShortest = ThreadWritesNonShortest();
    if (notShortest == !shortest) return;
    notShortest = !shortest;
    threadsWithPrecision.fetch_add(shortest ? -1 : 1, std::memory_order_relaxed);
}

bool WritesShortestDoubles() {
    return threadsWithPrecision.load(std::memory_order_relaxed) == 0 || !ThreadWritesNonShortest();
}

bool ProbeShortestDoubles() {
    char text[TCL_DOUBLE_SPACE];
    Tcl_PrintDouble(nullptr, 0.1, text);
    return std::string_view(text) == "0.1";
}

#if TCL_MAJOR_VERSION < 9
// Write trace on tcl_precision. It runs before Tcl's own trace applies the
// value, so it reads the value itself; values Tcl refuses change nothing.
char *PrecisionWritten(ClientData, Tcl_Interp *interp, const char *name1, const char *name2,
                       int) {
    Tcl_Obj *value = Tcl_GetVar2Ex(interp, name1, name2, TCL_GLOBAL_ONLY);
    int precision;
    if (value != nullptr && Tcl_GetIntFromObj(nullptr, value, &precision) == TCL_OK &&
        precision >= 0 && precision <= TCL_MAX_PREC) {
        SetWritesShortestDoubles(precision == 0);
    }
    return nullptr;
}
#endif

const Tcl_ObjType *IntType() { return objTypes.intType; }
const Tcl_ObjType *DoubleType() { return objTypes.doubleType; }

#if TCL_MAJOR_VERSION >= 9
Tcl_WideInt IntValue(const Tcl_Obj *objPtr) { return objPtr->internalRep.wideValue; }
#else
long IntValue(const Tcl_Obj *objPtr) { return objPtr->internalRep.longValue; }
#endif

// Reads a number, taking it straight from the internal representation of
// a value that already holds one. A double holding NaN goes to Tcl, which
// refuses it: a failed conversion of the text "NaN" leaves that double
// behind, and results such as a normalised zero vector hold one.
[[gnu::always_inline]] inline int GetDouble(Tcl_Interp *interp, Tcl_Obj *objPtr, double *value) {
    if (objPtr->typePtr == DoubleType() && !std::isnan(objPtr->internalRep.doubleValue)) {
        *value = objPtr->internalRep.doubleValue;
        return TCL_OK;
    }
    if (objPtr->typePtr == IntType()) {
        *value = static_cast<double>(IntValue(objPtr));
        return TCL_OK;
    }
    return Tcl_GetDoubleFromObj(interp, objPtr, value);
}

// A value that already holds a number is a one-element row. Reading it as
// a number directly spares it a conversion to a list and back.
bool HoldsNumber(Tcl_Obj *objPtr) {
    return objPtr->typePtr != nullptr &&
           (objPtr->typePtr == DoubleType() || objPtr->typePtr == IntType());
}

// An untyped value is tried as a number before it is split as a list, so
// that the rows of a column (a flat list of numbers) become numbers
// rather than one-element lists, and take the first test of RowElements
// from then on. Only a value's first reading comes here.
[[gnu::noinline]] bool BecomesNumber(Tcl_Obj *objPtr) {
    double unused;
    return Tcl_GetDoubleFromObj(nullptr, objPtr, &unused) == TCL_OK;
}

// Splits one row; a number stands for a row of one element. Inlined: it
// runs once per row of every matrix read.
[[gnu::always_inline]] inline int RowElements(Tcl_Interp *interp, Tcl_Obj *&rowPtr, TclSize *count, Tcl_Obj ***elements) {
    if (HoldsNumber(rowPtr) || (rowPtr->typePtr == nullptr && BecomesNumber(rowPtr))) {
        *count = 1;
        *elements = &rowPtr;
        return TCL_OK;
    }
    return Tcl_ListObjGetElements(interp, rowPtr, count, elements);
}

// Reads the elements of one row into element, which has room for count,
// and, when keep is not null, their objects to keep, which is advanced.
[[gnu::always_inline]] inline int ReadRow(Tcl_Interp *interp, Tcl_Obj *const *items, TclSize count,
                                          double *element, Tcl_Obj **&keep) {
    for (TclSize c = 0; c < count; ++c) {
        Tcl_Obj *item = items[c];
        if (GetDouble(interp, item, element + c) != TCL_OK) return TCL_ERROR;
        if (keep != nullptr) keep[c] = item;
    }
    if (keep != nullptr) keep += count;
    return TCL_OK;
}

// Reads a list whose rows all hold numbers already, the usual form of a
// vector once it has been used, as a column without splitting each row.
// Returns false for any other list; out then holds no meaningful values.
bool ReadColumnOfNumbers(Tcl_Obj *const *rowObjs, TclSize rows, Matrix &out) {
    if (!HoldsNumber(rowObjs[0])) return false;
    out.Reshape(MatrixDimension(rows), 1);
    double *element = out.data();
    for (TclSize r = 0; r < rows; ++r) {
        if (!HoldsNumber(rowObjs[r]) || GetDouble(nullptr, rowObjs[r], element + r) != TCL_OK) {
            return false;
        }
    }
    return true;
}

// Whether an element object read into a matrix can stand for its value in
// a result: a double whose text, if it has one, is the one Tcl would write.
bool Reusable(const Tcl_Obj *item, bool textsAreShortest) {
    if (item->typePtr != DoubleType()) return false;
    if (item->bytes == nullptr) return true;
    return textsAreShortest &&
           IsCanonicalDoubleText(item->bytes, static_cast<std::size_t>(item->length));
}

// Whether a matrix is small enough for the fixed arrays of ElementObjs
// and BuildSmallMatrixObj: rows without elements count too.
bool IsSmall(const Matrix &matrix) {
    return matrix.size() <= Matrix::kInlineElements &&
           static_cast<std::size_t>(matrix.rows()) <= Matrix::kInlineElements;
}

// Reads a list of rows that are all lists of one length whose elements
// hold numbers already: the form a matrix takes once it has been used.
// Returns false, having reported nothing, for anything else (including a
// NaN, which Tcl must refuse with its own message); out and kept then
// hold no meaningful values and the general reading starts over. This
// is the general reading without its conversions and error paths.
bool ReadRowsOfNumbers(Tcl_Obj *const *rowObjs, TclSize rows, Matrix &out,
                       ElementObjs *kept) {
    const Tcl_ObjType *const listType = objTypes.listType;
    if (rowObjs[0]->typePtr != listType) return false;
    TclSize cols;
    Tcl_Obj **items;
    // A value of Tcl's list type always yields its elements.
    Tcl_ListObjGetElements(nullptr, rowObjs[0], &cols, &items);
    if (cols == 0) return false;
    out.Reshape(MatrixDimension(rows), MatrixDimension(cols));
    // Element objects of a larger matrix go to a scratch row, which spares
    // the loop a test per element.
    const bool keeping = kept != nullptr && IsSmall(out);
    Tcl_Obj *scratch[Matrix::kInlineElements];
    if (!keeping && cols > static_cast<TclSize>(Matrix::kInlineElements)) return false;
    Tcl_Obj **keep = keeping ? kept->items : scratch;
    const Tcl_ObjType *const doubleType = objTypes.doubleType;
    const Tcl_ObjType *const intType = objTypes.intType;
    double *element = out.data();
    for (TclSize r = 0;;) {
        for (TclSize c = 0; c < cols; ++c) {
            Tcl_Obj *item = items[c];
            if (item->typePtr == doubleType) {
                const double value = item->internalRep.doubleValue;
                if (std::isnan(value)) return false;
                element[c] = value;
            } else if (item->typePtr == intType) {
                element[c] = static_cast<double>(IntValue(item));
            } else {
                return false;
            }
            keep[c] = item;
        }
        if (keeping) keep += cols;
        element += cols;
        if (++r == rows) break;
        TclSize count;
        if (rowObjs[r]->typePtr != listType) return false;
        Tcl_ListObjGetElements(nullptr, rowObjs[r], &count, &items);
        if (count != cols) return false;
    }
    if (keeping) kept->valid = true;
    return true;
}

// Room for count pointers, inside the object for short rows.
template <typename T>
class SmallArray {
public:
    explicit SmallArray(std::size_t count) : heap_(count > kInline ? new T[count] : nullptr) {}
    T *data() noexcept { return heap_ ? heap_.get() : inline_; }

private:
    static constexpr std::size_t kInline = 16;
    std::unique_ptr<T[]> heap_;
    T inline_[kInline];
};
using ObjArray = SmallArray<Tcl_Obj *>;

}  // namespace

void MatrixObjInit(Tcl_Interp *interp) {
    std::call_once(objTypesSet, [] { objTypes = MakeObjTypes(); });
    SetWritesShortestDoubles(ProbeShortestDoubles());
#if TCL_MAJOR_VERSION < 9
    Tcl_TraceVar2(interp, "tcl_precision", nullptr, TCL_GLOBAL_ONLY | TCL_TRACE_WRITES,
                  PrecisionWritten, nullptr);
#else
    // Tcl 9 always writes doubles in their shortest form; a variable named
    // tcl_precision is an ordinary one there.
    (void)interp;
#endif
}

bool IsPureList(const Tcl_Obj *objPtr) {
    return objPtr->bytes == nullptr &&
           objPtr->typePtr == objTypes.listType;
}

int MatrixFromObj(Tcl_Interp *interp, Tcl_Obj *objPtr, Matrix &out, ElementObjs *kept) {
    if (kept != nullptr) kept->valid = false;
    // A single number, the commonest operand after matrices: an untyped
    // value is tried as a number first, which also leaves it typed as one
    // for the next call.
    double scalar;
    if (HoldsNumber(objPtr) ||
        (objPtr->typePtr == nullptr && Tcl_GetDoubleFromObj(nullptr, objPtr, &scalar) == TCL_OK)) {
        out.Reshape(1, 1);
        if (GetDouble(interp, objPtr, out.data()) != TCL_OK) return TCL_ERROR;
        if (kept != nullptr) {
            kept->items[0] = objPtr;
            kept->valid = true;
        }
        return TCL_OK;
    }

    TclSize rows;
    Tcl_Obj **rowObjs;
    if (Tcl_ListObjGetElements(interp, objPtr, &rows, &rowObjs) != TCL_OK) return TCL_ERROR;
    if (rows == 0) return Fail(interp, kEmptyMatrix);
    if (ReadColumnOfNumbers(rowObjs, rows, out)) {
        if (kept != nullptr && IsSmall(out)) {
            std::copy_n(rowObjs, rows, kept->items);
            kept->valid = true;
        }
        return TCL_OK;
    }

    if (ReadRowsOfNumbers(rowObjs, rows, out, kept)) return TCL_OK;

    TclSize cols;
    Tcl_Obj **items;
    if (RowElements(interp, rowObjs[0], &cols, &items) != TCL_OK) return TCL_ERROR;
    out.Reshape(MatrixDimension(rows), MatrixDimension(cols));
    // Where the element objects of a small matrix are kept, row by row.
    Tcl_Obj **keep = kept != nullptr && IsSmall(out) ? kept->items : nullptr;
    if (ReadRow(interp, items, cols, out.data(), keep) != TCL_OK) return TCL_ERROR;

    double *element = out.data() + cols;
    for (TclSize r = 1; r < rows; ++r, element += cols) {
        TclSize count;
        if (RowElements(interp, rowObjs[r], &count, &items) != TCL_OK) return TCL_ERROR;
        if (count != cols) return Fail(interp, kColumnsNotUniform);
        if (ReadRow(interp, items, cols, element, keep) != TCL_OK) return TCL_ERROR;
    }
    if (keep != nullptr) kept->valid = true;
    return TCL_OK;
}

namespace {

// Builds the Tcl form of a rows x cols matrix whose element objects come
// from makeElement(row, column): a list of rows, a flat list for a single
// column, the element itself for 1 x 1.
template <typename MakeElement>
Tcl_Obj *BuildMatrixObj(int rows, int cols, MakeElement makeElement) {
    if (rows == 1 && cols == 1) return makeElement(0, 0);
    ObjArray rowObjs(static_cast<std::size_t>(rows));
    if (cols == 1) {
        for (int r = 0; r < rows; ++r) rowObjs.data()[r] = makeElement(r, 0);
    } else {
        ObjArray items(static_cast<std::size_t>(cols));
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) items.data()[c] = makeElement(r, c);
            rowObjs.data()[r] = Tcl_NewListObj(cols, items.data());
        }
    }
    return Tcl_NewListObj(rows, rowObjs.data());
}

// As BuildMatrixObj, for a small matrix (IsSmall) whose element objects
// are given row by row: no allocation beyond Tcl's own.
Tcl_Obj *BuildSmallMatrixObj(int rows, int cols, Tcl_Obj *const *items) {
    if (cols == 1) return rows == 1 ? items[0] : Tcl_NewListObj(rows, items);
    Tcl_Obj *rowObjs[Matrix::kInlineElements];
    for (int r = 0; r < rows; ++r) rowObjs[r] = Tcl_NewListObj(cols, items + r * cols);
    return Tcl_NewListObj(rows, rowObjs);
}

}  // namespace

void SetListResult(Tcl_Interp *interp, TclSize count, Tcl_Obj *const items[]) {
    Tcl_Obj *result = Tcl_GetObjResult(interp);
    // A result object with an internal representation may own items (it
    // may be the very argument they were read from): it is replaced, not
    // reused, so that they outlive the change.
    if (Tcl_IsShared(result) || result->typePtr != nullptr) {
        Tcl_SetObjResult(interp, Tcl_NewListObj(count, items));
    } else {
        Tcl_SetListObj(result, count, items);
    }
}

Tcl_Obj *MatrixToObj(const Matrix &matrix) {
    if (IsSmall(matrix)) {
        Tcl_Obj *items[Matrix::kInlineElements];
        for (std::size_t i = 0; i < matrix.size(); ++i) items[i] = Tcl_NewDoubleObj(matrix.data()[i]);
        return BuildSmallMatrixObj(matrix.rows(), matrix.cols(), items);
    }
    return BuildMatrixObj(matrix.rows(), matrix.cols(), [&](int r, int c) {
        return Tcl_NewDoubleObj(matrix.at(r, c));
    });
}

Tcl_Obj *MatrixToObjFromSource(const Matrix &matrix, Tcl_Obj *source,
                               bool transposed) {
    // The source was read successfully into this matrix, so splitting it
    // again cannot fail and gives the same shape (transposed if so).
    TclSize rows;
    Tcl_Obj **rowObjs;
    Tcl_Obj *sourceObj = source;
    if (HoldsNumber(source)) {
        rows = 1;
        rowObjs = &sourceObj;
    } else if (Tcl_ListObjGetElements(nullptr, source, &rows, &rowObjs) != TCL_OK) {
        return MatrixToObj(matrix);
    }
    SmallArray<Tcl_Obj **> rowItems(static_cast<std::size_t>(rows));
    for (TclSize r = 0; r < rows; ++r) {
        TclSize count;
        if (RowElements(nullptr, rowObjs[r], &count, &rowItems.data()[r]) != TCL_OK) {
            return MatrixToObj(matrix);
        }
    }
    const bool textsAreShortest = WritesShortestDoubles();
    return BuildMatrixObj(matrix.rows(), matrix.cols(), [&](int r, int c) {
        Tcl_Obj *item = transposed ? rowItems.data()[c][r] : rowItems.data()[r][c];
        return Reusable(item, textsAreShortest) ? item : Tcl_NewDoubleObj(matrix.at(r, c));
    });
}

void SetResultFromElements(Tcl_Interp *interp, const Matrix &source,
                           const ElementObjs &elements, bool transposed) {
    const double *values = source.data();
    const bool textsAreShortest = WritesShortestDoubles();
    // The element objects of the result row by row: source element (r, c)
    // goes to (c, r) when transposed.
    Tcl_Obj *items[Matrix::kInlineElements];
    const int sourceRows = source.rows(), sourceCols = source.cols();
    const int step = transposed ? sourceRows : 1;
    for (int r = 0, k = 0; r < sourceRows; ++r) {
        Tcl_Obj **target = items + (transposed ? r : k);
        for (int c = 0; c < sourceCols; ++c, ++k, target += step) {
            Tcl_Obj *item = elements.items[k];
            *target = Reusable(item, textsAreShortest) ? item : Tcl_NewDoubleObj(values[k]);
        }
    }
    const int rows = transposed ? sourceCols : sourceRows;
    const int cols = transposed ? sourceRows : sourceCols;
    if (cols == 1) {
        if (rows == 1) {
            Tcl_SetObjResult(interp, items[0]);
        } else {
            SetListResult(interp, rows, items);
        }
        return;
    }
    Tcl_Obj *rowObjs[Matrix::kInlineElements];
    for (int r = 0; r < rows; ++r) rowObjs[r] = Tcl_NewListObj(cols, items + r * cols);
    SetListResult(interp, rows, rowObjs);
}

}  // namespace kelb
