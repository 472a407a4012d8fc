// The recorder's autostart entry in a real folder: what the entry says, that the desktop's own
// validator takes it, and a folder that refuses writes or does not exist.
#include "platform/Autostart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <filesystem>

#include "platform/Error.h"
#include "support/PlantedLinks.h"
#include "support/TempRoot.h"

namespace {

namespace fs = std::filesystem;

// desktop-file-validate's verdict: empty when the entry is valid, its complaints otherwise.
std::string validatorComplaints(const std::string &file) {
    QProcess p;
    p.start("desktop-file-validate", {QString::fromStdString(file)});
    if (!p.waitForFinished(30'000))
        return "desktop-file-validate did not run";
    const std::string said = (p.readAllStandardOutput() + p.readAllStandardError()).toStdString();
    return p.exitCode() == 0 ? said : "exit " + std::to_string(p.exitCode()) + ": " + said;
}

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = root.file("autostart");
        fs::create_directories(folder);
        ::setenv("ZORVIDEO_AUTOSTART_DIR", folder.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("ZORVIDEO_AUTOSTART_DIR"); }
    std::string entry() const { return folder + "/ZORVideo.desktop"; }

    zvtest::TempRoot root;
    std::string folder;
    zv::XdgAutostart store;
};

TEST_F(AutostartTest, AddWritesAValidEntryDeleteRemovesIt) {
    EXPECT_EQ(zv::autostartFolder(), folder);
    EXPECT_FALSE(store.contains("ZORVideo"));
    store.add("ZORVideo", "/opt/zorvideo/drive_c/VELD/ZORVideoService.exe");
    EXPECT_TRUE(store.contains("ZORVideo"));
    EXPECT_EQ(zvtest::readFile(entry()),
              "[Desktop Entry]\nType=Application\nName=ZORVideo\n"
              "Exec=\"/opt/zorvideo/drive_c/VELD/ZORVideoService.exe\"\n");
    EXPECT_EQ(validatorComplaints(entry()), "");
    EXPECT_EQ(fs::status(entry()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
        << "no temporary file is left";

    store.add("ZORVideo", "/other/ZORVideoService.exe");  // replaces
    EXPECT_NE(zvtest::readFile(entry()).find("Exec=\"/other/"), std::string::npos);
    store.remove("ZORVideo");
    EXPECT_FALSE(store.contains("ZORVideo"));
    EXPECT_FALSE(fs::exists(entry()));
    EXPECT_THROW(store.remove("ZORVideo"), zv::Error);
}

TEST_F(AutostartTest, AwkwardPathsAreQuotedAndEscaped) {
    const std::string program = "/home/op $x/50% \"rec\"/a\\b`c`/Zor Video.exe";
    EXPECT_EQ(
        zv::desktopEntryText("ZORVideo", program),
        "[Desktop Entry]\nType=Application\nName=ZORVideo\n"
        "Exec=\"/home/op \\\\$x/50%% \\\\\"rec\\\\\"/a\\\\\\\\b\\\\`c\\\\`/Zor Video.exe\"\n");
    store.add("ZORVideo", program);
    EXPECT_EQ(validatorComplaints(entry()), "");
    store.add("ZORVideo", "/opt/Запись/ZORVideoService.exe");
    EXPECT_EQ(validatorComplaints(entry()), "");
}

TEST_F(AutostartTest, NamesThatWouldLeaveTheFolderAreRefused) {
    EXPECT_THROW(store.add("../ZORVideo", "/x"), zv::Error);
    EXPECT_THROW(store.add("", "/x"), zv::Error);
    EXPECT_THROW(store.contains(".."), zv::Error);
    EXPECT_FALSE(fs::exists(root.file("ZORVideo.desktop")));
}

TEST_F(AutostartTest, AReadOnlyFolderRefusesAndKeepsWhatIsThere) {
    store.add("ZORVideo", "/opt/ZORVideoService.exe");
    const std::string before = zvtest::readFile(entry());
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    {
        zvtest::ScopedFileRights rights;
        EXPECT_THROW(store.add("ZORVideo", "/new/ZORVideoService.exe"), zv::Error);
        EXPECT_THROW(store.remove("ZORVideo"), zv::Error);
        EXPECT_TRUE(store.contains("ZORVideo"));
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(zvtest::readFile(entry()), before);
}

TEST_F(AutostartTest, AMissingFolderIsNotCreated) {
    const std::string missing = root.file("no/such/autostart");
    ::setenv("ZORVIDEO_AUTOSTART_DIR", missing.c_str(), 1);
    EXPECT_THROW(store.add("ZORVideo", "/opt/ZORVideoService.exe"), zv::Error);
    EXPECT_FALSE(store.contains("ZORVideo"));
    EXPECT_FALSE(fs::exists(root.file("no")));
}

TEST_F(AutostartTest, ALinkAnotherUserPlantedIsReplacedNotFollowed) {
    // Folders every user may write; the entry's name leads elsewhere through a link of theirs:
    // to a file of ours, and dangling into a folder only we may write.
    const zvtest::SharedFolders shared = zvtest::makeSharedFolders(root.path());
    ASSERT_FALSE(shared.open.empty());
    fs::create_directories(root.file("private"));
    fs::permissions(root.file("private"), fs::perms::owner_all);
    const std::string victim = root.file("private/victim");
    zvtest::writeFile(victim, "root's own");
    for (const std::string &dir : {shared.open, shared.sticky}) {
        SCOPED_TRACE(dir);
        ::setenv("ZORVIDEO_AUTOSTART_DIR", dir.c_str(), 1);
        const std::string name = dir + "/ZORVideo.desktop";
        const std::string other = dir + "/Other.desktop";
        if (!zvtest::plantLinkAsNobody(victim, name) ||
            !zvtest::plantLinkAsNobody(root.file("private/created.desktop"), other))
            GTEST_SKIP() << "needs root and setpriv to plant links as another user";
        store.add("ZORVideo", "/opt/ZORVideoService.exe");
        store.add("Other", "/opt/ZORVideoService.exe");
        EXPECT_EQ(zvtest::readFile(victim), "root's own");
        EXPECT_FALSE(fs::exists(root.file("private/created.desktop")));
        for (const std::string &entry : {name, other}) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(entry)));
            EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                          fs::perms::others_read);
        }
    }
}

TEST(AutostartFolder, SystemWideByDefault) {
    ::unsetenv("ZORVIDEO_AUTOSTART_DIR");
    EXPECT_EQ(zv::autostartFolder(), "/etc/xdg/autostart");
}

}  // namespace
