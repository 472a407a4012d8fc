#include "platform/Variant.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace zv;

Variant make(uint16_t vt) {
    Variant v;
    variantInit(&v);
    v.vt = vt;
    return v;
}

TEST(Variant, LayoutIsTheOleOne) {
    Variant v;
    variantInit(&v);
    v.vt = VT_I4;
    v.lVal = 0x11223344;
    unsigned char raw[16];
    std::memcpy(raw, &v, sizeof raw);
    EXPECT_EQ(raw[0], VT_I4);
    EXPECT_EQ(raw[1], 0);
    EXPECT_EQ(raw[8], 0x44);
    EXPECT_EQ(raw[11], 0x11);
}

TEST(Variant, BStrHasTheLengthPrefixAndTerminator) {
    BStr s = sysAllocString(u"Пр0");
    ASSERT_NE(s, nullptr);
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<unsigned char *>(s) - 4, 4);
    EXPECT_EQ(bytes, 3 * sizeof(wchar_t));
    EXPECT_EQ(sysStringLen(s), 3u);
    EXPECT_EQ(s[0], L'П');
    EXPECT_EQ(s[3], 0);
    EXPECT_EQ(bstrText(s), u"Пр0");
    sysFreeString(s);
    sysFreeString(nullptr);
}

struct CountedObject {
    struct VTable {
        long (*queryInterface)(CountedObject *, const void *, void **);
        uint32_t (*addRef)(CountedObject *);
        uint32_t (*release)(CountedObject *);
    };
    const VTable *vtable;
    int releases = 0;
};

const CountedObject::VTable kCountedVTable = {
    [](CountedObject *, const void *, void **) -> long { return 0; },
    [](CountedObject *) -> uint32_t { return 2; },
    [](CountedObject *self) -> uint32_t {
        ++self->releases;
        return 0;
    },
};

TEST(Variant, ClearReleasesWhatItOwnsAndEmpties) {
    // A string: freed (the sanitizer reports a leak or a bad free otherwise).
    Variant text = make(VT_BSTR);
    text.bstrVal = sysAllocString(u"1");
    variantClear(&text);
    EXPECT_EQ(text.vt, VT_EMPTY);
    EXPECT_EQ(text.bstrVal, nullptr);

    // An object: released once through slot 2.
    CountedObject object{&kCountedVTable};
    Variant unknown = make(VT_UNKNOWN);
    unknown.punkVal = &object;
    variantClear(&unknown);
    EXPECT_EQ(object.releases, 1);
    EXPECT_EQ(unknown.vt, VT_EMPTY);

    // A reference owns nothing.
    Variant ref = make(VT_BYREF | VT_UNKNOWN);
    void *target = &object;
    ref.byref = &target;
    variantClear(&ref);
    EXPECT_EQ(object.releases, 1);

    Variant none = make(VT_UNKNOWN);  // null object
    variantClear(&none);
    variantClear(nullptr);
}

TEST(Variant, ComparesWithAnIntegerByValue) {
    Variant i4 = make(VT_I4);
    EXPECT_TRUE(variantEqualsInteger(i4, 0));
    i4.lVal = 1;
    EXPECT_FALSE(variantEqualsInteger(i4, 0));
    EXPECT_TRUE(variantEqualsInteger(i4, 1));

    Variant i2 = make(VT_I2);
    i2.iVal = -1;
    EXPECT_TRUE(variantEqualsInteger(i2, -1));
    Variant ui1 = make(VT_UI1);
    ui1.bVal = 200;
    EXPECT_TRUE(variantEqualsInteger(ui1, 200));
    Variant ui4 = make(VT_UI4);
    ui4.ulVal = 0xFFFFFFFFu;
    EXPECT_TRUE(variantEqualsInteger(ui4, 4294967295LL));
    EXPECT_FALSE(variantEqualsInteger(ui4, -1));
    Variant i8 = make(VT_I8);
    i8.llVal = (int64_t{1} << 53) + 1;
    EXPECT_FALSE(variantEqualsInteger(i8, int64_t{1} << 53));
    EXPECT_TRUE(variantEqualsInteger(i8, (int64_t{1} << 53) + 1));

    Variant r8 = make(VT_R8);
    r8.dblVal = 0.0;
    EXPECT_TRUE(variantEqualsInteger(r8, 0));
    r8.dblVal = 0.5;
    EXPECT_FALSE(variantEqualsInteger(r8, 0));
    Variant cy = make(VT_CY);
    cy.cyVal = 20000;  // 2.0000
    EXPECT_TRUE(variantEqualsInteger(cy, 2));

    Variant boolean = make(VT_BOOL);
    boolean.boolVal = -1;  // true
    EXPECT_FALSE(variantEqualsInteger(boolean, 0));
    boolean.boolVal = 0;
    EXPECT_TRUE(variantEqualsInteger(boolean, 0));

    Variant text = make(VT_BSTR);
    text.bstrVal = sysAllocString(u" 0 ");
    EXPECT_TRUE(variantEqualsInteger(text, 0));
    variantClear(&text);
    text = make(VT_BSTR);
    text.bstrVal = sysAllocString(u"нет");
    EXPECT_FALSE(variantEqualsInteger(text, 0));
    variantClear(&text);
    text = make(VT_BSTR);  // null string
    EXPECT_FALSE(variantEqualsInteger(text, 0));

    EXPECT_FALSE(variantEqualsInteger(make(VT_EMPTY), 0));
    EXPECT_FALSE(variantEqualsInteger(make(VT_NULL), 0));
    EXPECT_FALSE(variantEqualsInteger(make(VT_ERROR), 0));
    EXPECT_FALSE(variantEqualsInteger(make(VT_ARRAY | VT_I4), 0));
}

TEST(Variant, ComparesThroughReferences) {
    int32_t zero = 0;
    Variant ref = make(VT_BYREF | VT_I4);
    ref.byref = &zero;
    EXPECT_TRUE(variantEqualsInteger(ref, 0));
    zero = 3;
    EXPECT_FALSE(variantEqualsInteger(ref, 0));

    Variant inner = make(VT_I2);
    Variant outer = make(VT_BYREF | VT_VARIANT);
    outer.byref = &inner;
    EXPECT_TRUE(variantEqualsInteger(outer, 0));

    Variant loop = make(VT_BYREF | VT_VARIANT);
    loop.byref = &loop;  // a broken answer must not hang the window
    EXPECT_FALSE(variantEqualsInteger(loop, 0));
    Variant nullRef = make(VT_BYREF | VT_I4);
    EXPECT_FALSE(variantEqualsInteger(nullRef, 0));
}

}  // namespace
