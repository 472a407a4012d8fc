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

template <class T>
Variant holding(uint16_t vt, T value) {
    Variant v = make(vt);
    std::memcpy(&v.lVal, &value, sizeof value);
    return v;
}

TEST(Variant, ComparesWithAnIntegerByValue) {
    EXPECT_TRUE(variantEqualsInteger(holding<int32_t>(VT_I4, 0), 0));
    EXPECT_FALSE(variantEqualsInteger(holding<int32_t>(VT_I4, 1), 0));
    EXPECT_TRUE(variantEqualsInteger(holding<int16_t>(VT_I2, -1), -1));
    EXPECT_TRUE(variantEqualsInteger(holding<uint8_t>(VT_UI1, 200), 200));
    EXPECT_TRUE(variantEqualsInteger(holding<uint32_t>(VT_UI4, 0xFFFFFFFFu), 4294967295LL));
    EXPECT_FALSE(variantEqualsInteger(holding<uint32_t>(VT_UI4, 0xFFFFFFFFu), -1));
    // 64-bit integers compare exactly, beyond the 53 bits of a double.
    const int64_t big = (int64_t{1} << 53) + 1;
    EXPECT_FALSE(variantEqualsInteger(holding<int64_t>(VT_I8, big), big - 1));
    EXPECT_TRUE(variantEqualsInteger(holding<int64_t>(VT_I8, big), big));
    EXPECT_TRUE(variantEqualsInteger(holding<double>(VT_R8, 0.0), 0));
    EXPECT_FALSE(variantEqualsInteger(holding<double>(VT_R8, 0.5), 0));
    EXPECT_TRUE(variantEqualsInteger(holding<int64_t>(VT_CY, 20000), 2));  // 2.0000
    EXPECT_FALSE(variantEqualsInteger(holding<int16_t>(VT_BOOL, -1), 0));  // true
    EXPECT_TRUE(variantEqualsInteger(holding<int16_t>(VT_BOOL, 0), 0));

    for (const auto &[text, equal] : {std::pair{u" 0 ", true}, std::pair{u"нет", false}}) {
        Variant v = holding<BStr>(VT_BSTR, sysAllocString(text));
        EXPECT_EQ(variantEqualsInteger(v, 0), equal);
        variantClear(&v);
    }
    EXPECT_FALSE(variantEqualsInteger(make(VT_BSTR), 0));  // null string
    for (int vt : {int{VT_EMPTY}, int{VT_NULL}, int{VT_ERROR}, VT_ARRAY | VT_I4})
        EXPECT_FALSE(variantEqualsInteger(make(static_cast<uint16_t>(vt)), 0)) << vt;
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
