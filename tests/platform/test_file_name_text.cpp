// File names as UTF-16 text and back: UTF-8 as the text it is, other bytes kept as 7-Zip keeps
// them, and every name back as its own bytes.
#include <gtest/gtest.h>

#include <QString>
#include <random>
#include <string>

#include "platform/CommandLine.h"
#include "platform/FileNameText.h"

namespace {

std::u16string units(std::initializer_list<char16_t> list) {
    return std::u16string(list);
}

}  // namespace

TEST(FileNameText, Utf8IsTheTextItSpells) {
    for (const char *name : {"", "x.zvf", "Запись экрана.zvf", "a*b?.zvf", "смайл 😀.zvf",
                             "\xEE\xBC\x90"}) {  // U+EF10 lies outside the kept bytes
        SCOPED_TRACE(name);
        EXPECT_EQ(zv::fileNameToQString(name), QString::fromUtf8(name));
        EXPECT_EQ(zv::qStringToFileName(QString::fromUtf8(name)), name);
    }
}

TEST(FileNameText, BytesThatAreNotUtf8AreKeptAsSevenZipKeepsThem) {
    // "Пример.zvf" in Windows-1251.
    const std::string cp1251 = "\xCF\xF0\xE8\xEC\xE5\xF0.zvf";
    EXPECT_EQ(zv::fileNameToUtf16(cp1251),
              units({0xEFCF, 0xEFF0, 0xEFE8, 0xEFEC, 0xEFE5, 0xEFF0, '.', 'z', 'v', 'f'}));
    // A character that would read back as kept bytes is kept byte by byte (U+EF80 here).
    EXPECT_EQ(zv::fileNameToUtf16("u\xEE\xBE\x80"), units({'u', 0xEFEE, 0xEFBE, 0xEF80}));
    // Broken sequences: a lone continuation, a cut sequence, an overlong '/', a surrogate.
    EXPECT_EQ(zv::fileNameToUtf16("\x80\xD0"), units({0xEF80, 0xEFD0}));
    EXPECT_EQ(zv::fileNameToUtf16("\xE2\x82z"), units({0xEFE2, 0xEF82, 'z'}));
    EXPECT_EQ(zv::fileNameToUtf16("\xC0\xAF"), units({0xEFC0, 0xEFAF}));
    EXPECT_EQ(zv::fileNameToUtf16("\xED\xA0\x80"), units({0xEFED, 0xEFA0, 0xEF80}));
    // An unpaired surrogate from elsewhere has no bytes of its own.
    EXPECT_EQ(zv::utf16ToFileName(units({'a', 0xD800, 'b'})),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(FileNameText, EveryNameComesBackAsItsBytes) {
    std::mt19937 random(13);
    for (int round = 0; round < 20'000; ++round) {
        std::string name(random() % 12, '\0');
        for (char &c : name) {
            // Mostly bytes that make or nearly make UTF-8 sequences.
            static const unsigned char kBytes[] = {'a',  '/',  0x80, 0xBF, 0xC3, 0xD0, 0xE2,
                                                   0xED, 0xEE, 0xEF, 0xF0, 0xF4, 0xFF, 0xBE};
            c = static_cast<char>(random() % 3 == 0 ? random() % 256
                                                    : kBytes[random() % sizeof kBytes]);
        }
        ASSERT_EQ(zv::utf16ToFileName(zv::fileNameToUtf16(name)), name) << round;
        ASSERT_EQ(zv::qStringToFileName(zv::fileNameToQString(name)), name) << round;
    }
}

TEST(FileNameText, CommandLineArgumentsKeepTheirBytes) {
    std::string program = "zvf", name = "C:\\Exp\\\xCF\xF0\xE8\xEC\xE5\xF0.zvf", star = "a*.zvf";
    char *argv[] = {program.data(), name.data(), star.data()};
    const QStringList arguments = zv::commandLineArguments(3, argv);
    ASSERT_EQ(arguments.size(), 3);
    EXPECT_EQ(zv::qStringToFileName(arguments[1]), name);
    EXPECT_EQ(arguments[2], QStringLiteral("a*.zvf"));
}
