#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// Type codes of an OLE VARIANT (the ones the module understands).
enum VarType : uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

// A string of the OLE kind, laid out as 7-Zip's library on Linux lays it out: wchar_t units
// holding UTF-16 code units, a terminating 0, and a 32-bit byte length stored just before the
// first unit; the block is taken with malloc. Made by sysAllocString, freed by sysFreeString.
using BStr = wchar_t *;

// The answer slot of the host query: a 16-byte OLE VARIANT, the type in the first two bytes and
// the value at offset 8. The host fills it; whoever receives it releases it with variantClear.
struct Variant {
    uint16_t vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        int8_t cVal;
        uint8_t bVal;
        int16_t iVal;
        uint16_t uiVal;
        int32_t lVal;
        uint32_t ulVal;
        int64_t llVal;
        uint64_t ullVal;
        float fltVal;
        double dblVal;
        double date;
        int16_t boolVal;  // VARIANT_TRUE is -1
        int64_t cyVal;    // currency, in units of 1/10000
        int32_t scode;
        BStr bstrVal;
        void *punkVal;  // an object with the IUnknown method order (Release is slot 2)
        void *byref;
    };
};
static_assert(sizeof(Variant) == 16, "an OLE VARIANT is 16 bytes");
static_assert(offsetof(Variant, vt) == 0 && offsetof(Variant, lVal) == 8,
              "type first, value at offset 8");

// Sets the variant to empty without releasing anything (for a fresh, uninitialised slot).
void variantInit(Variant *v);

// Releases what the variant holds as the OLE rules say (frees a string, releases an object) and
// leaves it empty. References (VT_BYREF) own nothing. Arrays cannot be released here and are
// dropped unfreed rather than freed wrongly.
void variantClear(Variant *v);

BStr sysAllocString(std::u16string_view text);
// Accepts null.
void sysFreeString(BStr s);
// Number of UTF-16 units, from the length prefix.
uint32_t sysStringLen(BStr s);
std::u16string bstrText(BStr s);

// True when the variant holds a number equal to value: every integer and floating-point type,
// currency, date, Boolean (true is -1) and a string that reads as a number, also by reference.
// Empty, null, objects, error codes and arrays equal no number.
bool variantEqualsInteger(const Variant &v, int64_t value);

}  // namespace zv
