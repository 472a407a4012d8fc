// Part files and target locks in real folders: nothing visible before the commit, nothing left
// after a failure or a kill, links planted by another user replaced and never followed, a second
// writer of one target refused at once.
#include "platform/PartFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "support/ErrorInChild.h"
#include "support/PlantedLinks.h"
#include "support/TempRoot.h"

namespace {

namespace fs = std::filesystem;
using zvtest::errorOf;

std::vector<std::string> entriesOf(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A folder of its own inside a test's temporary root (which holds other things).
struct Folder {
    zvtest::TempRoot root;
    std::string path = root.file("w");
    Folder() { fs::create_directories(path); }
    std::string file(const std::string &name) const { return path + "/" + name; }
};

TEST(PartFile, NothingUnderAnyNameUntilTheCommitAndNothingLeftWithout) {
    Folder root;
    const std::string target = root.file("out.bin");
    zvtest::writeFile(target, "old");
    {
        zv::PartFile part(target);
        part.append("new ", 4);
        part.append("bytes", 5);
        // The old file stands as it was, and no other name appeared beside it.
        EXPECT_EQ(entriesOf(root.path), std::vector<std::string>{"out.bin"});
        EXPECT_EQ(zvtest::readFile(target), "old");
        part.commit();
    }
    EXPECT_EQ(zvtest::readFile(target), "new bytes");
    {
        zv::PartFile part(target);
        part.append("dropped", 7);
    }
    EXPECT_EQ(entriesOf(root.path), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(zvtest::readFile(target), "new bytes");
    // The path for libraries that open by name reaches the same file.
    zv::PartFile part(target);
    zvtest::writeFile(part.openPath(), "through the path");
    part.commit();
    EXPECT_EQ(zvtest::readFile(target), "through the path");
}

TEST(PartFile, FailuresGiveTheSystemsReasonAndLeaveNothing) {
    Folder root;
    EXPECT_EQ(errorOf([&] { zv::PartFile part(root.file("no/such/x")); }),
              "Не удается открыть файл \"" + root.file("no/such/x") +
                  "\": " + zv::systemErrorReason(ENOENT));
    // A folder under the target's name cannot be replaced.
    fs::create_directories(root.file("dir"));
    EXPECT_EQ(
        errorOf([&] { zv::writeWholeFile(root.file("dir"), "x", 1); }),
        "Не удается записать файл \"" + root.file("dir") + "\": " + zv::systemErrorReason(EISDIR));
    // A full disk (a file size limit in a child process): the write fails, nothing stays.
    const std::string message = zvtest::errorInChild(
        [] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl {
                4096, 4096
            };
            return ::setrlimit(RLIMIT_FSIZE, &rl) == 0 ? "" : "(no limit)";
        },
        [&] {
            const std::string big(10'000, 'x');
            zv::writeWholeFile(root.file("big"), big.data(), big.size());
        });
    EXPECT_EQ(message, "Не удается записать файл \"" + root.file("big") +
                           "\": " + zv::systemErrorReason(EFBIG));
    EXPECT_EQ(entriesOf(root.path), std::vector<std::string>{"dir"});
}

TEST(PartFile, AKilledWriterLeavesNoFile) {
    Folder root;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        zv::PartFile part(root.file("out.bin"));
        part.append("half", 4);
        (void)!::write(ready[1], "!", 1);
        ::pause();
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(entriesOf(root.path).empty());
}

TEST(PartFile, StalePartsOfTheTargetAloneAreRemoved) {
    Folder root;
    const std::string target = root.file("a.mp4");
    for (const char *name : {"a.mp4.k3x9q0zz.part", "a.mp4.part", "a.mp4.short.part",
                             "b.mp4.k3x9q0zz.part", "a.mp4.K3X9Q0ZZ.part", "a.mp4"})
        zvtest::writeFile(root.file(name), "x");
    fs::create_directories(root.file("a.mp4.abcdefgh.part"));  // not a file: kept
    zv::removeStaleParts(target);
    EXPECT_EQ(entriesOf(root.path),
              (std::vector<std::string>{"a.mp4", "a.mp4.K3X9Q0ZZ.part", "a.mp4.abcdefgh.part",
                                        "a.mp4.part", "a.mp4.short.part", "b.mp4.k3x9q0zz.part"}));
}

TEST(PartFile, LinksPlantedByAnotherUserAreReplacedNeverFollowed) {
    zvtest::TempRoot root;
    const zvtest::SharedFolders shared = zvtest::makeSharedFolders(root.path());
    ASSERT_FALSE(shared.open.empty());
    const std::string victim = root.file("victim");
    zvtest::writeFile(victim, "root's own");
    for (const std::string &folder : {shared.open, shared.sticky}) {
        SCOPED_TRACE(folder);
        const std::string link = folder + "/entry";
        const std::string dangling = folder + "/dangling";
        if (!zvtest::plantLinkAsNobody(victim, link) ||
            !zvtest::plantLinkAsNobody(root.file("created-by-us"), dangling))
            GTEST_SKIP() << "needs root and setpriv to plant links as another user";
        zv::writeWholeFile(link, "ours", 4);
        zv::writeWholeFile(dangling, "ours", 4);
        EXPECT_EQ(zvtest::readFile(victim), "root's own");
        EXPECT_FALSE(fs::exists(root.file("created-by-us")));
        for (const std::string &name : {link, dangling}) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(name)));
            EXPECT_EQ(zvtest::readFile(name), "ours");
        }
    }
}

TEST(TargetLock, ASecondClaimOnOneNameFailsAtOnceAndEndsWithTheFirst) {
    zvtest::TempRoot root;
    const std::string target = root.file("same.zvf");
    {
        const zv::TargetLock first(target);
        EXPECT_EQ(errorOf([&] { zv::TargetLock second(target); }),
                  "Файл \"" + target + "\" уже записывается другим экспортом");
        // The same folder by another spelling is the same name.
        EXPECT_EQ(errorOf([&] { zv::TargetLock second(root.path() + "/./same.zvf"); }),
                  "Файл \"" + root.path() + "/./same.zvf\" уже записывается другим экспортом");
        // Another process is refused as well.
        EXPECT_EQ(zvtest::errorInChild([] { return std::string(); },
                                       [&] { zv::TargetLock second(target); }),
                  "Файл \"" + target + "\" уже записывается другим экспортом");
        EXPECT_EQ(errorOf([&] { zv::TargetLock other(root.file("other.zvf")); }), "(no error)");
    }
    EXPECT_EQ(errorOf([&] { zv::TargetLock again(target); }), "(no error)");
}

}  // namespace
