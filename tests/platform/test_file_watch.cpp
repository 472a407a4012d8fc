// The watch of the configuration file: every way a file changes is noticed, nothing else is.
#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>
#include <fstream>

#include "platform/FileWatch.h"
#include "support/TempRoot.h"

namespace fs = std::filesystem;

namespace {

void write(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool readable(const zv::FileWatch &watch) {
    pollfd p{watch.descriptor(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

}  // namespace

TEST(FileWatch, NoticesWritesReplacesRemovalsAndRightsButNotOtherFiles) {
    zvtest::TempRoot root;
    const std::string file = root.file("cnf.INI");
    write(file, "[ZORVideo]\n");
    zv::FileWatch watch(file);
    ASSERT_GE(watch.descriptor(), 0);
    EXPECT_FALSE(watch.changed());

    write(root.file("other.ini"), "x");
    EXPECT_FALSE(watch.changed()) << "another file of the folder";

    // The same size written again at once: the notice tells, whatever the times say.
    write(file, "[ZORVideo]\n");
    EXPECT_TRUE(readable(watch));
    EXPECT_TRUE(watch.changed());
    EXPECT_FALSE(readable(watch));
    EXPECT_FALSE(watch.changed());

    // An atomic save: a temporary file renamed over it.
    write(root.file("cnf.INI.tmp"), "[ZORVideo]\nzvEnableRec=1\n");
    fs::rename(root.file("cnf.INI.tmp"), file);
    EXPECT_TRUE(watch.changed());

    fs::permissions(file, fs::perms::owner_read);
    EXPECT_TRUE(watch.changed());
    fs::remove(file);
    EXPECT_TRUE(watch.changed());
    write(file, "new");
    EXPECT_TRUE(watch.changed());
    EXPECT_FALSE(watch.changed());
}

TEST(FileWatch, AFolderThatAppearsLaterIsWatchedFromThenOn) {
    zvtest::TempRoot root;
    const std::string folder = root.file("drive_c/WINDOWS");
    zv::FileWatch watch(folder + "/cnf.INI");
    EXPECT_FALSE(watch.changed());
    fs::create_directories(folder);
    EXPECT_FALSE(watch.changed()) << "the folder alone is no change of the file";
    write(folder + "/cnf.INI", "[ZORVideo]\n");
    EXPECT_TRUE(watch.changed()) << "seen by comparison the first time";
    write(folder + "/cnf.INI", "[ZORVideo]\n");
    EXPECT_TRUE(readable(watch)) << "and by notice from then on";
    EXPECT_TRUE(watch.changed());

    // The folder removed and made again.
    fs::remove_all(folder);
    EXPECT_TRUE(watch.changed());
    fs::create_directories(folder);
    write(folder + "/cnf.INI", "[ZORVideo]\n");
    EXPECT_TRUE(watch.changed());
    write(folder + "/cnf.INI", "[ZORVideo]\n");
    EXPECT_TRUE(readable(watch));
    EXPECT_TRUE(watch.changed());
}
