// The install tree as `cmake --install` lays it out under a temporary DESTDIR, and the installed
// programs run from there: the host finds the installed plug-in without --library, zvf's manual
// page and its bash completion know every command, the desktop entry is valid.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "support/TempRoot.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome run(const QString &program, const QStringList &args,
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(120'000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

QString q(const std::string &s) {
    return QString::fromStdString(s);
}

class InstallTree : public ::testing::Test {
protected:
    // One install for all cases: it copies some 80 MB of sanitised programs.
    static void SetUpTestSuite() {
        destdir_ = std::make_unique<QTemporaryDir>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", destdir_->path());
        installed_ = run(ZORVIDEO_CMAKE_COMMAND, {"--install", ZORVIDEO_TEST_BUILD_DIR}, env);
    }
    static void TearDownTestSuite() { destdir_.reset(); }

    void SetUp() override { ASSERT_EQ(installed_.status, 0) << installed_.out << installed_.err; }

    // A path of the install, relative to its prefix.
    static std::string at(const std::string &relative) {
        return destdir_->path().toStdString() + ZORVIDEO_INSTALL_PREFIX + "/" + relative;
    }
    static QString program(const char *name) { return q(at(ZORVIDEO_INSTALL_BINDIR "/") + name); }

    static std::unique_ptr<QTemporaryDir> destdir_;
    static Outcome installed_;
};

std::unique_ptr<QTemporaryDir> InstallTree::destdir_;
Outcome InstallTree::installed_;

// The commands that the installed zvf lists in its overview.
std::set<std::string> zvfCommands(const QString &zvf) {
    const Outcome help = run(zvf, {"--help"});
    EXPECT_EQ(help.status, 0) << help.err;
    std::set<std::string> commands;
    bool listing = false;
    for (const QString &line : q(help.out).split('\n')) {
        if (line.startsWith(QString::fromUtf8("команды:"))) {
            listing = true;
        } else if (listing) {
            const QRegularExpressionMatch m =
                QRegularExpression("^  +([a-z0-9][a-z0-9-]*)").match(line);
            if (!m.hasMatch())
                break;
            commands.insert(m.captured(1).toStdString());
        }
    }
    return commands;
}

TEST_F(InstallTree, LaysOutEveryFileWhereDebianExpectsIt) {
    const std::string doc = ZORVIDEO_INSTALL_DOCDIR "/";
    const std::string man = ZORVIDEO_INSTALL_MANDIR "/man1/";
    const std::set<std::string> expected = {
        ZORVIDEO_INSTALL_BINDIR "/zvf",
        ZORVIDEO_INSTALL_LIBEXECDIR "/zorvideo/zvf-export",
        ZORVIDEO_INSTALL_LIBEXECDIR "/zorvideo/zvf-text",
        "lib/systemd/user/zorvideo-index@.service",
        ZORVIDEO_INSTALL_BINDIR "/zorvideo-host",
        ZORVIDEO_INSTALL_BINDIR "/ZORVideoService",
        ZORVIDEO_INSTALL_PLUGINDIR "/libZORVideo.so",
        man + "zvf.1.gz",
        man + "zorvideo-host.1.gz",
        man + "ZORVideoService.1.gz",
        ZORVIDEO_INSTALL_DATADIR "/applications/zorvideo-host.desktop",
        ZORVIDEO_INSTALL_DATADIR "/icons/hicolor/scalable/apps/zorvideo-host.svg",
        ZORVIDEO_INSTALL_DATADIR "/bash-completion/completions/zvf",
        doc + "README.md",
        doc + "copyright",
        doc + "changelog.gz",
        doc + "docs/host.png",
        doc + "docs/settings.png",
        doc + "docs/viewer.png",
        doc + "docs/export.png",
    };
    std::set<std::string> found;
    const fs::path prefix = at("");
    for (const auto &entry : fs::recursive_directory_iterator(destdir_->path().toStdString())) {
        if (!entry.is_directory())
            found.insert(fs::relative(entry.path(), prefix).string());
    }
    EXPECT_EQ(found, expected);

    // Programs run, the rest is read; a plug-in is not executable (Debian's rule for libraries).
    const auto mode = [](const std::string &relative) {
        return fs::status(at(relative)).permissions() & fs::perms::all;
    };
    const fs::perms rwxr_xr_x = fs::perms::owner_all | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec;
    const fs::perms rw_r__r__ = fs::perms::owner_read | fs::perms::owner_write |
                                fs::perms::group_read | fs::perms::others_read;
    EXPECT_EQ(mode(ZORVIDEO_INSTALL_BINDIR "/zvf"), rwxr_xr_x);
    EXPECT_EQ(mode(ZORVIDEO_INSTALL_LIBEXECDIR "/zorvideo/zvf-export"), rwxr_xr_x);
    EXPECT_EQ(mode(ZORVIDEO_INSTALL_LIBEXECDIR "/zorvideo/zvf-text"), rwxr_xr_x);
    EXPECT_EQ(mode(ZORVIDEO_INSTALL_PLUGINDIR "/libZORVideo.so"), rw_r__r__);
    EXPECT_EQ(mode(man + "zvf.1.gz"), rw_r__r__);
}

// Without a display, as an administrator checks a fresh install over ssh.
TEST_F(InstallTree, InstalledProgramsAnswerVersionAndHelp) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    for (const char *name : {"zvf", "zorvideo-host", "ZORVideoService"}) {
        const Outcome version = run(program(name), {"--version"}, env);
        EXPECT_EQ(version.status, 0) << name << version.err;
        EXPECT_EQ(version.out, std::string(name) + " " ZORVIDEO_VERSION "\n") << name;
    }

    const Outcome zvf = run(program("zvf"), {"--help"}, env);
    EXPECT_EQ(zvf.status, 0) << zvf.err;
    EXPECT_NE(zvf.out.find("команды:"), std::string::npos) << zvf.out;

    const Outcome help = run(program("zorvideo-host"), {"--help"}, env);
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_NE(help.out.find("--library"), std::string::npos) << help.out;
}

// zvf hands the exports to a program of their own, which it finds in the installed layout (not
// beside itself, where the build tree has it).
TEST_F(InstallTree, InstalledZvfRunsTheExportsInTheirProgram) {
    zvtest::TempRoot root;
    const std::string source = root.file("a.zvf");
    const std::string target = root.file("b.zvf");
    const Outcome sample = run(program("zvf"), {"sample", q(source), "--frames", "3"});
    ASSERT_EQ(sample.status, 0) << sample.err;
    const Outcome exported = run(program("zvf"), {"export", q(source), q(target), "0", "1"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    const Outcome info = run(program("zvf"), {"info", q(target)});
    EXPECT_NE(info.out.find("frames: 2\n"), std::string::npos) << info.out << info.err;
    // Its wrong arguments are answered by zvf itself, with the command's usage.
    const Outcome wrong = run(program("zvf"), {"export-mp4", q(source)});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("zvf export-mp4 SRC DST"), std::string::npos) << wrong.err;
}

// On a fresh root the plug-in makes C:\VELD with the recorder's link to the installed recorder,
// and the recording's folder inside it, so that "Запустить" finds the recorder.
TEST_F(InstallTree, HostLoadsTheInstalledPluginWhichLinksTheInstalledRecorder) {
    zvtest::TempRoot root;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const std::string shot = root.file("settings.png");
    const Outcome host =
        run(program("zorvideo-host"), {"--settings", "--screenshot", q(shot)}, env);
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_NE(host.err.find("VideoForm"), std::string::npos) << host.err;
    EXPECT_TRUE(fs::is_regular_file(shot));

    const fs::path link = root.file("drive_c/VELD/ZORVideoService.exe");
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::equivalent(link, at(ZORVIDEO_INSTALL_BINDIR "/ZORVideoService")));
    EXPECT_TRUE(fs::is_directory(root.file("drive_c/VELD/ZORVIDEO")));
}

TEST_F(InstallTree, ManualPageDescribesEveryCommandOfZvf) {
    const std::set<std::string> commands = zvfCommands(program("zvf"));
    ASSERT_GE(commands.size(), 9u);
    const Outcome page = run("gzip", {"-dc", q(at(ZORVIDEO_INSTALL_MANDIR "/man1/zvf.1.gz"))});
    ASSERT_EQ(page.status, 0) << page.err;
    for (const std::string &command : commands)
        EXPECT_NE(page.out.find(".BI \"" + command + " "), std::string::npos) << command;
    // The version of the build, not the placeholder of the source.
    EXPECT_NE(page.out.find("\"zorvideo " ZORVIDEO_VERSION "\""), std::string::npos);
}

// What bash offers for the words typed so far, with the installed completion and the installed zvf
// first on PATH.
std::set<std::string> complete(const QString &binDir, const QString &script,
                               const QStringList &words) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", binDir + ":" + env.value("PATH"));
    const QString body =
        "source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _zvf; "
        "printf '%s\\n' \"${COMPREPLY[@]}\"";
    const Outcome r = run("bash", QStringList{"-c", body, script} + words, env);
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<std::string> offered;
    for (const QString &word : q(r.out).split('\n', Qt::SkipEmptyParts))
        offered.insert(word.toStdString());
    return offered;
}

TEST_F(InstallTree, BashCompletionOffersCommandsOptionsAndFiles) {
    const QString bin = q(at(ZORVIDEO_INSTALL_BINDIR));
    const QString script = q(at(ZORVIDEO_INSTALL_DATADIR "/bash-completion/completions/zvf"));

    std::set<std::string> expected = zvfCommands(program("zvf"));
    expected.insert({"--help", "--version"});
    EXPECT_EQ(complete(bin, script, {"zvf", ""}), expected);
    const std::set<std::string> ex = complete(bin, script, {"zvf", "ex"});
    EXPECT_TRUE(ex.count("export") && ex.count("export-time")) << ex.size();
    for (const std::string &word : ex)
        EXPECT_EQ(word.rfind("ex", 0), 0u) << word;

    const std::set<std::string> sampleOptions = complete(bin, script, {"zvf", "sample", "f", "--"});
    for (const char *option : {"--frames", "--delay", "--size", "--quality", "--start"})
        EXPECT_TRUE(sampleOptions.count(option)) << option;
    EXPECT_EQ(complete(bin, script, {"zvf", "export", "a", "b", "1", "2", "--7"}),
              std::set<std::string>{"--7z"});

    // A count is no file name; a file argument completes from the folder.
    EXPECT_TRUE(complete(bin, script, {"zvf", "sample", "f", "--frames", ""}).empty());
    const std::string folder = at(ZORVIDEO_INSTALL_DOCDIR "/");
    EXPECT_EQ(complete(bin, script, {"zvf", "info", q(folder + "READ")}),
              std::set<std::string>{folder + "README.md"});
}

TEST_F(InstallTree, DesktopEntryIsValid) {
    const Outcome check =
        run("desktop-file-validate",
            {q(at(ZORVIDEO_INSTALL_DATADIR "/applications/zorvideo-host.desktop"))});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(check.out, "");
}

}  // namespace
