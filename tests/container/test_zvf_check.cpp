#include "container/ZVFCheck.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <limits>

#include "container/ZVFAppender.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "support/TempRoot.h"

namespace {

void poke(const std::string &path, int64_t pos, const void *data, size_t n) {
    zv::UniqueFd fd = zv::openFile(path, O_RDWR);
    zv::writeAt(fd.get(), data, n, pos);
}

template <typename T>
void pokeValue(const std::string &path, int64_t pos, T value) {
    poke(path, pos, &value, sizeof value);
}

bool mentions(const zvf::CheckResult &r, const std::string &text) {
    for (const auto &line : r.lines)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

}  // namespace

TEST(ZVFCheck, SoundFileHasNoProblems) {
    zvtest::TempRoot root;
    const std::string path = root.file("rec.zvf");
    ZVFAppender writer(path);
    for (int i = 0; i < 4; ++i)
        writer.append("GIF89a....", 10, 1.0 + i);
    auto r = zvf::checkFile(path);
    EXPECT_EQ(r.problems, 0);
    EXPECT_TRUE(r.lines.empty());
    // A file of just a zero count is sound.
    zvtest::writeFile(root.file("empty.zvf"), std::string(4, '\0'));
    EXPECT_EQ(zvf::checkFile(root.file("empty.zvf")).problems, 0);
}

TEST(ZVFCheck, EachBrokenInvariantIsALine) {
    zvtest::TempRoot root;
    const std::string path = root.file("rec.zvf");
    ZVFAppender writer(path);
    for (int i = 0; i < 6; ++i)
        writer.append("0123456789", 10, 1.0 + i);
    pokeValue<int32_t>(path, 2000 + 20 * 0 + 8, 0);    // entry 0: size 0
    pokeValue<int64_t>(path, 2000 + 20 * 1, -3);       // entry 1: negative offset
    pokeValue<int64_t>(path, 2000 + 20 * 2, 55);       // entry 2: 55 + 10 > 60 bytes
    pokeValue<double>(path, 2000 + 20 * 3 + 12, 0.5);  // entry 3: earlier than entry 2
    pokeValue<double>(path, 2000 + 20 * 4 + 12,
                      std::numeric_limits<double>::quiet_NaN());   // entry 4
    pokeValue<int32_t>(path, 2000 + 20 * 5 + 8, (256 << 20) + 1);  // entry 5: over 256 MB
    auto r = zvf::checkFile(path);
    EXPECT_EQ(r.problems, 6);
    EXPECT_TRUE(mentions(r, "запись 0: размер 0 не больше нуля"));
    EXPECT_TRUE(mentions(r, "запись 1: смещение -3"));
    EXPECT_TRUE(mentions(r, "запись 2: байты кадра 55+10 выходят за конец файла"));
    EXPECT_TRUE(mentions(r, "запись 3: дата и время кадра раньше"));
    EXPECT_TRUE(mentions(r, "запись 4: дата и время кадра не являются числом"));
    EXPECT_TRUE(mentions(r, "запись 5: размер 268435457 больше 256 МБ"));
    EXPECT_EQ(zvf::checkFile(path, 2).lines.size(), 2u);
    EXPECT_EQ(zvf::checkFile(path, 2).problems, 6);

    pokeValue<int32_t>(path, 0, -1);
    EXPECT_TRUE(mentions(zvf::checkFile(path), "отрицателен"));
    pokeValue<int32_t>(path, 0, 499'901);
    r = zvf::checkFile(path);
    EXPECT_TRUE(mentions(r, "больше ёмкости"));

    zvtest::writeFile(root.file("short.zvf"), std::string(2000 + 20 * 2, '\0'));
    pokeValue<int32_t>(root.file("short.zvf"), 0, 3);
    EXPECT_TRUE(mentions(zvf::checkFile(root.file("short.zvf")), "только 2 записей индекса"));
    zvtest::writeFile(root.file("tiny.zvf"), "ab");
    EXPECT_TRUE(mentions(zvf::checkFile(root.file("tiny.zvf")), "короче счётчика кадров"));
    EXPECT_THROW(zvf::checkFile(root.file("missing.zvf")), zv::Error);
}
