// The file seam: the machine's files and the files in memory behave alike where the recording code
// relies on them.
#include "platform/File.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <locale.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/Error.h"
#include "support/MemoryFileSystem.h"
#include "support/TempRoot.h"

namespace {

using Mode = zv::FileSystem::OpenMode;

// What both kinds of file system must do, on a name that does not exist yet.
void expectSeamContract(zv::FileSystem &files, const std::string &name) {
    EXPECT_THROW(files.open(name, Mode::Read), zv::Error);
    EXPECT_EQ(files.idOf(name), std::nullopt);
    auto reader = files.open(name, Mode::ReadOrCreate);
    EXPECT_EQ(reader->length(), 0);
    EXPECT_THROW(reader->writeAt("x", 1, 0), zv::Error);

    auto writer = files.open(name, Mode::ReadWriteOrCreate);
    writer->writeAt("abc", 3, 10);  // a hole of 10 bytes before
    writer->sync();
    EXPECT_EQ(reader->length(), 13);  // both opens see one file
    char bytes[20];
    std::memset(bytes, 'z', sizeof bytes);
    EXPECT_EQ(reader->readAt(bytes, sizeof bytes, 0), 13u);
    EXPECT_EQ(std::string(bytes, 13), std::string(10, '\0') + "abc");
    EXPECT_EQ(reader->readAt(bytes, 4, 13), 0u);
    EXPECT_EQ(reader->id(), writer->id());
    EXPECT_EQ(files.idOf(name), reader->id());
    EXPECT_THROW(reader->truncate(0), zv::Error);

    // Cut, the tail is gone: grown again, the file reads zeros there.
    writer->truncate(11);
    EXPECT_EQ(reader->length(), 11);
    writer->writeAt("d", 1, 12);
    EXPECT_EQ(reader->readAt(bytes, sizeof bytes, 9), 4u);
    EXPECT_EQ(std::string(bytes, 4), std::string("\0a\0d", 4));
    writer->truncate(13);
}

TEST(FileSeam, LocalFiles) {
    zvtest::TempRoot root;
    expectSeamContract(zv::localFileSystem(), root.file("a.bin"));
    auto &files = zv::localFileSystem();
    // Another name of the same file has the same identity; another file does not.
    std::filesystem::create_symlink(root.file("a.bin"), root.file("link.bin"));
    EXPECT_EQ(files.idOf(root.file("link.bin")), files.idOf(root.file("a.bin")));
    auto other = files.open(root.file("b.bin"), Mode::ReadWriteOrCreate);
    EXPECT_NE(other->id(), files.idOf(root.file("a.bin")));
    EXPECT_GE(other->descriptor(), 0);
    // Folders and named pipes are refused at once, with the path in the message.
    try {
        files.open(root.path(), Mode::ReadOrCreate);
        FAIL() << "opened a folder";
    } catch (const zv::Error &e) {
        EXPECT_NE(std::string(e.what()).find(root.path()), std::string::npos) << e.what();
    }
    ASSERT_EQ(::mkfifo(root.file("pipe").c_str(), 0600), 0);
    EXPECT_THROW(files.open(root.file("pipe"), Mode::Read), zv::Error);
    EXPECT_THROW(files.open(root.file("no/such/folder.bin"), Mode::ReadWriteOrCreate), zv::Error);
}

TEST(FileSeam, MemoryFiles) {
    zvtest::MemoryFileSystem files;
    expectSeamContract(files, "a.bin");
    EXPECT_EQ(files.contents("a.bin"), std::string(10, '\0') + std::string("a\0d", 3));
    EXPECT_EQ(files.journal("a.bin"),
              (std::vector<std::string>{"w 10 3", "s", "t 11", "w 12 1", "t 13"}));

    // Areas far apart cost only their pages; later areas win where they overlap.
    const int64_t far = int64_t{5} << 32;
    files.setFile("sparse", {{far, "xyz", 3}, {far + 1, "Q", 1}}, 0);
    auto file = files.open("sparse", Mode::Read);
    EXPECT_EQ(file->length(), far + 3);
    char bytes[4] = {};
    EXPECT_EQ(file->readAt(bytes, 4, far - 1), 4u);
    EXPECT_EQ(std::string(bytes, 4), std::string("\0xQz", 4));
    EXPECT_EQ(file->descriptor(), -1);
    EXPECT_THROW(file->readAt(bytes, 1, -1), zv::Error);

    auto writer = files.open("sparse", Mode::ReadWriteOrCreate);
    EXPECT_THROW(writer->writeAt("x", 1, INT64_MAX - 1), zv::Error);
    files.failNextWrite("disk gone");
    EXPECT_THROW(writer->sync(), zv::Error);
    writer->sync();  // once only
    files.remove("sparse");
    EXPECT_EQ(files.idOf("sparse"), std::nullopt);
    EXPECT_EQ(writer->length(), far + 3);  // an open file keeps its bytes
}

}  // namespace

TEST(File, SystemErrorsAreRussianWhereTheLocaleIsInstalled) {
    // tools/bootstrap installs the locale; without it the English text stands.
    const locale_t russian = ::newlocale(LC_MESSAGES_MASK, "ru_RU.UTF-8", locale_t{});
    if (russian) {
        ::freelocale(russian);
        EXPECT_EQ(zv::systemErrorReason(ENOSPC), "На устройстве не осталось свободного места");
        EXPECT_EQ(zv::systemErrorReason(EACCES), "Отказано в доступе");
    } else {
        EXPECT_EQ(zv::systemErrorReason(ENOSPC), "No space left on device");
    }
    EXPECT_EQ(zv::systemErrorText("Ошибка записи в файл", ENOSPC),
              "Ошибка записи в файл: " + zv::systemErrorReason(ENOSPC));
    // The text of an open names the file and the reason.
    zvtest::TempRoot root;
    try {
        zv::localFileSystem().open(root.file("missing"), zv::FileSystem::OpenMode::Read);
        ADD_FAILURE();
    } catch (const zv::Error &e) {
        EXPECT_EQ(std::string(e.what()), "Не удается открыть файл \"" + root.file("missing") +
                                             "\": " + zv::systemErrorReason(ENOENT));
    }
}
