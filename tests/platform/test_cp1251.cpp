#include "platform/Cp1251.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "platform/Error.h"

namespace {

// The system's converter, as an independent reference for the table.
std::string iconvConvert(const char *to, const char *from, const std::string &in, bool *ok) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        *ok = false;
        return {};
    }
    std::string input = in;
    std::string out(in.size() * 4 + 4, '\0');
    char *src = input.data();
    size_t srcLeft = input.size();
    char *dst = out.data();
    size_t dstLeft = out.size();
    *ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

TEST(Cp1251, EveryByteAgreesWithTheSystemConverterAndRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = zv::cp1251ToUtf8(byte);
        EXPECT_EQ(zv::utf8ToCp1251(utf8), byte) << "byte " << b;
        bool ok = false;
        const std::string reference = iconvConvert("UTF-8", "CP1251", byte, &ok);
        if (ok) {
            EXPECT_EQ(utf8, reference) << "byte " << b;
        }
    }
}

TEST(Cp1251, CyrillicPathRoundTrips) {
    const std::string path = "C:\\Видеозаписи\\Ёлка — смена №2.zvf";
    const std::string bytes = zv::utf8ToCp1251(path);
    EXPECT_EQ(static_cast<unsigned char>(bytes[3]), 0xC2);  // В
    EXPECT_EQ(zv::cp1251ToUtf8(bytes), path);
}

TEST(Cp1251, RefusesWhatItCannotStore) {
    EXPECT_THROW(zv::utf8ToCp1251("日本.zvf"), zv::Error);
    EXPECT_THROW(zv::utf8ToCp1251("\xFF\xFE"), zv::Error);      // not UTF-8
    EXPECT_THROW(zv::utf8ToCp1251("\xC0\xAF"), zv::Error);      // overlong '/'
    EXPECT_THROW(zv::utf8ToCp1251("\xED\xA0\x80"), zv::Error);  // a surrogate
    EXPECT_THROW(zv::utf8ToCp1251("\xD0"), zv::Error);          // cut short
    EXPECT_FALSE(zv::isCp1251Representable("😀"));
    EXPECT_TRUE(zv::isCp1251Representable("Привет, world"));
}

TEST(Cp1251, UpperCaseCoversCyrillic) {
    const std::string lower = zv::utf8ToCp1251("zorvideo ёжик їєґ");
    const std::string upper = zv::utf8ToCp1251("ZORVIDEO ЁЖИК ЇЄҐ");
    ASSERT_EQ(lower.size(), upper.size());
    for (size_t i = 0; i < lower.size(); ++i) {
        EXPECT_EQ(zv::cp1251ToUpper(static_cast<unsigned char>(lower[i])),
                  static_cast<unsigned char>(upper[i]))
            << "at " << i;
    }
    EXPECT_EQ(zv::cp1251ToUpper('['), '[');
}

}  // namespace
