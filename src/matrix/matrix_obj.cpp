// matrix_obj.cpp --
//
//     Conversion of matrices from and to Tcl values.

#include "matrix/matrix_obj.h"

#include <atomic>
#include <cmath>
#include <memory>

#include <string_view>

#include "core/tcl_support.h"
#include "matrix/double_text.h"
#include "matrix/matrix_fail.h"

namespace kelb {

namespace {

// Tcl's own types of integers, doubles and lists, set by MatrixObjInit
// from values it makes: Tcl 9 no longer registers "int" by name, and a
// null type would match every untyped value. Every interpreter of the
// process has the same ones; the atomics only make the repeated identical
// stores of later initialisations well defined.
struct ObjTypes {
    std::atomic<const Tcl_ObjType *> intType{nullptr};
    std::atomic<const Tcl_ObjType *> doubleType{nullptr};
    std::atomic<const Tcl_ObjType *> listType{nullptr};
};
constinit ObjTypes objTypes;

// Whether Tcl writes doubles in their shortest form on this thread, as it
// does unless a script sets tcl_precision. Reading that variable is costly
// (it is traced), so the matrix module watches writes to it instead, in
// every interpreter that loads the module.
thread_local bool tclWritesShortestDoubles = true;

bool ProbeShortestDoubles() {
    char text[TCL_DOUBLE_SPACE];
    Tcl_PrintDouble(nullptr, 0.1, text);
    return std::string_view(text) == "0.1";
}

// Write trace on tcl_precision. It runs before Tcl's own trace applies the
// value, so it reads the value itself; values Tcl refuses change nothing.
char *PrecisionWritten(ClientData, Tcl_Interp *interp, const char *name1, const char *name2,
                       int) {
    Tcl_Obj *value = Tcl_GetVar2Ex(interp, name1, name2, TCL_GLOBAL_ONLY);
    int precision;
    if (value != nullptr && Tcl_GetIntFromObj(nullptr, value, &precision) == TCL_OK &&
        precision >= 0 && precision <= TCL_MAX_PREC) {
        tclWritesShortestDoubles = precision == 0;
    }
    return nullptr;
}

const Tcl_ObjType *IntType() { return objTypes.intType.load(std::memory_order_relaxed); }
const Tcl_ObjType *DoubleType() { return objTypes.doubleType.load(std::memory_order_relaxed); }

#if TCL_MAJOR_VERSION >= 9
Tcl_WideInt IntValue(const Tcl_Obj *objPtr) { return objPtr->internalRep.wideValue; }
#else
long IntValue(const Tcl_Obj *objPtr) { return objPtr->internalRep.longValue; }
#endif

// The type of a value Tcl makes, taken before the value is freed.
const Tcl_ObjType *TypeOf(Tcl_Obj *fresh) {
    ObjRef value(fresh);
    return value.get()->typePtr;
}

// Reads a number, taking it straight from the internal representation of
// a value that already holds one. A double holding NaN goes to Tcl, which
// refuses it: a failed conversion of the text "NaN" leaves that double
// behind, and results such as a normalised zero vector hold one.
int GetDouble(Tcl_Interp *interp, Tcl_Obj *objPtr, double *value) {
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

// Reads the elements of one row into element, which has room for count.
int ReadRow(Tcl_Interp *interp, Tcl_Obj *const *items, TclSize count, double *element) {
    for (TclSize c = 0; c < count; ++c) {
        if (GetDouble(interp, items[c], element + c) != TCL_OK) return TCL_ERROR;
    }
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
    objTypes.intType.store(TypeOf(Tcl_NewWideIntObj(0)), std::memory_order_relaxed);
    objTypes.doubleType.store(TypeOf(Tcl_NewDoubleObj(0.0)), std::memory_order_relaxed);
    Tcl_Obj *element = Tcl_NewObj();
    objTypes.listType.store(TypeOf(Tcl_NewListObj(1, &element)), std::memory_order_relaxed);
    tclWritesShortestDoubles = ProbeShortestDoubles();
    Tcl_TraceVar2(interp, "tcl_precision", nullptr, TCL_GLOBAL_ONLY | TCL_TRACE_WRITES,
                  PrecisionWritten, nullptr);
}

bool IsPureList(const Tcl_Obj *objPtr) {
    return objPtr->bytes == nullptr &&
           objPtr->typePtr == objTypes.listType.load(std::memory_order_relaxed);
}

int MatrixFromObj(Tcl_Interp *interp, Tcl_Obj *objPtr, Matrix &out) {
    // A single number, the commonest operand after matrices: an untyped
    // value is tried as a number first, which also leaves it typed as one
    // for the next call.
    double scalar;
    if (HoldsNumber(objPtr) ||
        (objPtr->typePtr == nullptr && Tcl_GetDoubleFromObj(nullptr, objPtr, &scalar) == TCL_OK)) {
        out.Reshape(1, 1);
        return GetDouble(interp, objPtr, out.data());
    }

    TclSize rows;
    Tcl_Obj **rowObjs;
    if (Tcl_ListObjGetElements(interp, objPtr, &rows, &rowObjs) != TCL_OK) return TCL_ERROR;
    if (rows == 0) return Fail(interp, kEmptyMatrix);
    if (ReadColumnOfNumbers(rowObjs, rows, out)) return TCL_OK;

    TclSize cols;
    Tcl_Obj **items;
    if (RowElements(interp, rowObjs[0], &cols, &items) != TCL_OK) return TCL_ERROR;
    out.Reshape(MatrixDimension(rows), MatrixDimension(cols));
    if (ReadRow(interp, items, cols, out.data()) != TCL_OK) return TCL_ERROR;

    double *element = out.data() + cols;
    for (TclSize r = 1; r < rows; ++r, element += cols) {
        TclSize count;
        if (RowElements(interp, rowObjs[r], &count, &items) != TCL_OK) return TCL_ERROR;
        if (count != cols) return Fail(interp, kColumnsNotUniform);
        if (ReadRow(interp, items, cols, element) != TCL_OK) return TCL_ERROR;
    }
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


}  // namespace

Tcl_Obj *MatrixToObj(const Matrix &matrix) {
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
    const bool textsAreShortest = tclWritesShortestDoubles;
    auto reusable = [&](Tcl_Obj *item) {
        if (item->typePtr != DoubleType()) return false;
        if (item->bytes == nullptr) return true;
        return textsAreShortest &&
               IsCanonicalDoubleText(std::string_view(item->bytes, item->length));
    };
    return BuildMatrixObj(matrix.rows(), matrix.cols(), [&](int r, int c) {
        Tcl_Obj *item = transposed ? rowItems.data()[c][r] : rowItems.data()[r][c];
        return reusable(item) ? item : Tcl_NewDoubleObj(matrix.at(r, c));
    });
}

}  // namespace kelb
