// The export commands of the zvf tool as a process: arguments, exit statuses, messages, files.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>

#include "platform/File.h"
#include "platform/PartFile.h"
#include "support/TempRoot.h"
#include "support/ToolProcess.h"

namespace fs = std::filesystem;

namespace {

zvtest::ToolOutcome zvf(const QStringList &args) {
    return zvtest::runTool(QStringLiteral(ZVF_TOOL), args);
}

int32_t countOf(const std::string &native) {
    int32_t count = -1;
    zv::UniqueFd fd = zv::openFile(native, O_RDONLY);
    zv::readAt(fd.get(), &count, 4, 0);
    return count;
}

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

class ZvfExportTool : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    QString src;
    void SetUp() override {
        fs::create_directories(root.file("drive_c/VELD"));
        src = QString::fromStdString(root.file("drive_c/VELD/s.zvf"));
        // Frames at 12:00:00.0, .5, 01.0, … 02.5.
        zvtest::ToolOutcome r = zvf({"sample", src, "--frames", "6", "--delay", "500", "--size",
                                     "64x48", "--quality", "4", "--start", "2010-12-31 12:00:00"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    std::string file(const std::string &relative) { return root.file(relative); }
    static QString q(const std::string &text) { return QString::fromStdString(text); }
};

}  // namespace

TEST_F(ZvfExportTool, ExportCommandsWriteWhatTheOperationsWrite) {
    zvtest::ToolOutcome r = zvf({"export", src, "C:\\Exp\\a.zvf", "4", "1", "--7z"});
    ASSERT_EQ(r.status, 1) << "the target's folder is missing";
    EXPECT_TRUE(contains(r.err, "Не удается открыть файл")) << r.err;

    fs::create_directories(file("drive_c/Exp"));
    r = zvf({"export", src, "C:\\Exp\\a.zvf", "4", "1", "--7z"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(file("drive_c/Exp/a.zvf")), 4);
    EXPECT_TRUE(fs::exists(file("drive_c/Exp/a.zvf.7z")));
    EXPECT_TRUE(r.err.empty()) << "no progress line without a terminal: " << r.err;

    r = zvf(
        {"export-time", src, "C:\\Exp\\b.zvf", "2010-12-31 12:00:00.5", "2010-12-31 12:00:02.000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(file("drive_c/Exp/b.zvf")), 2);
    EXPECT_FALSE(fs::exists(file("drive_c/Exp/b.zvf.7z")));

    r = zvf({"pictures", src, "C:\\Exp\\p", "0", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(file("drive_c/Exp/p/101231 120000_2.GIF")));
    EXPECT_TRUE(fs::exists(file("drive_c/Exp/p/101231 120002_2.GIF")));

    r = zvf({"pictures-time", src, "C:\\Exp\\q", "2010-12-31 12:00:02", "2011-01-01 00:00:00"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(file("drive_c/Exp/q")), {}), 1);
}

TEST_F(ZvfExportTool, FailuresExitWithTheOperationsMessage) {
    fs::create_directories(file("drive_c/Exp"));
    struct Case {
        QStringList args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"export", src, "C:\\Exp\\c.zvf", "0", "6"}, 1, "Недопустимые границы экспорта"},
        {{"pictures", src, "C:\\Exp\\c", "6", "0"}, 1, "Недопустимые границы экспорта"},
        {{"export", src, src, "0", "1"}, 1, "Файл экспорта совпадает с исходным файлом видео"},
        {{"pictures-time", src, "C:\\Exp\\c", "2010-01-01 00:00:00", "2010-12-31 12:00:00"},
         1,
         "Неверно указан временной интервал экспорта"},
        {{"export", "C:\\none.zvf", "C:\\Exp\\c.zvf", "0", "0"}, 1, "Файл не найден"},
        {{"export-time", src, "C:\\Exp\\c.zvf", "yesterday", "2011-01-01 00:00:00"}, 2, "START"},
        {{"pictures", src, "C:\\Exp\\c", "0", "1", "--7z"}, 2, "Неизвестный параметр «7z»"},
        {{"export", src, "C:\\Exp\\c.zvf", "0", "1", "--7z=yes"},
         2,
         "Неожиданное значение после «--7z»"},
        // A folder that cannot be made, as the export window says it.
        {{"pictures", src, "C:\\Exp\\file\\sub", "0", "1"}, 1, "Неверная директория экспорта"},
        {{"pictures-time", src, "C:\\Exp\\file", "2010-01-01 00:00:00", "2011-01-01 00:00:00"},
         1,
         "Неверная директория экспорта"},
    };
    zvtest::writeFile(file("drive_c/Exp/file"), "not a folder");
    for (const Case &c : cases) {
        zvtest::ToolOutcome r = zvf(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    }
    EXPECT_FALSE(fs::exists(file("drive_c/Exp/c.zvf")));
}

TEST_F(ZvfExportTool, AnArchiveThatCannotBeMadeFailsTheExportAndTheFileStays) {
    fs::create_directories(file("drive_c/Exp/d.zvf.7z"));  // a folder in the archive's place
    zvtest::ToolOutcome r = zvf({"export", src, "C:\\Exp\\d.zvf", "1", "3", "--7z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Не удалось создать архив \"C:\\Exp\\d.zvf.7z\": ", 0), 0u) << r.err;
    EXPECT_EQ(countOf(file("drive_c/Exp/d.zvf")), 3);
}

// Whether the process holds an unnamed file (a part not linked in yet) in folder.
static bool holdsUnnamedFileIn(qint64 pid, const std::string &folder) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto &fd : fs::directory_iterator(fds, error)) {
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (target.rfind(folder + "/", 0) == 0 && contains(target, "(deleted)"))
            return true;
    }
    return false;
}

TEST_F(ZvfExportTool, AKilledExportLeavesNoPartFileAndNoBrokenArchive) {
    const QString big = q(file("drive_c/VELD/big.zvf"));
    zvtest::ToolOutcome r = zvf({"sample", big, "--frames", "60", "--size", "640x480"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string folder = file("drive_c/K");
    fs::create_directories(folder);
    zvtest::writeFile(folder + "/k.zvf.7z", "an older archive");
    const std::vector<QStringList> exports = {
        {"export-mp4", big, "C:\\K\\k.mp4", "0", "59"},
        {"export", big, "C:\\K\\k.zvf", "0", "59", "--7z"},
    };
    for (const QStringList &args : exports) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess p;
        p.start(QStringLiteral(ZVF_TOOL), args);
        ASSERT_TRUE(p.waitForStarted(30'000));
        // Killed while its part is being written (the 7z step, for the archive).
        QElapsedTimer waited;
        waited.start();
        while (!holdsUnnamedFileIn(p.processId(), folder) && p.state() == QProcess::Running &&
               waited.elapsed() < 120'000)
            QThread::msleep(5);
        ASSERT_EQ(p.state(), QProcess::Running) << "finished before it could be killed";
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        ASSERT_TRUE(p.waitForFinished(30'000));
    }
    std::vector<std::string> left;
    for (const auto &entry : fs::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"k.zvf", "k.zvf.7z"}));
    EXPECT_EQ(zvtest::readFile(folder + "/k.zvf.7z"), "an older archive");
}

TEST_F(ZvfExportTool, ASecondExportToATargetBeingWrittenFailsAtOnce) {
    fs::create_directories(file("drive_c/Exp"));
    const zv::TargetLock other(file("drive_c/Exp/busy.mp4"));
    const zv::TargetLock zvfTarget(file("drive_c/Exp/busy.zvf"));
    for (const QStringList &args : {QStringList{"export-mp4", src, "C:\\Exp\\busy.mp4", "0", "1"},
                                    QStringList{"export", src, "C:\\Exp\\busy.zvf", "0", "1"}}) {
        const zvtest::ToolOutcome r = zvf(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, "уже записывается другим экспортом")) << r.err;
    }
    EXPECT_FALSE(fs::exists(file("drive_c/Exp/busy.mp4")));
    EXPECT_FALSE(fs::exists(file("drive_c/Exp/busy.zvf")));
}

TEST_F(ZvfExportTool, NamesReachTheExportAsTheirBytes) {
    // A Windows-1251 name ("Пр"), as copied from Windows, given through the shell as bytes.
    fs::create_directories(file("drive_c/Exp"));
    zvtest::ToolOutcome r = zvtest::runTool(
        QStringLiteral("/bin/sh"),
        {"-c", "exec \"$0\" export \"$1\" \"$2$(printf '\\317\\360.zvf')\" 0 2 --7z", ZVF_TOOL, src,
         q(file("drive_c/Exp/"))});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(file("drive_c/Exp/\xCF\xF0.zvf")), 3);
    EXPECT_GT(fs::file_size(file("drive_c/Exp/\xCF\xF0.zvf.7z")), 0u);
}

TEST_F(ZvfExportTool, TimesCopiedFromTheListingBoundTheInterval) {
    // Frames at 08:15:30.0, 30.5, 31.0, …: frame 2's time as printed leaves frame 2 out.
    fs::create_directories(file("drive_c/Exp"));
    zvtest::ToolOutcome r = zvf({"sample", src, "--frames", "6", "--delay", "500", "--size",
                                 "16x16", "--quality", "4", "--start", "2024-03-10 08:15:30"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = zvf({"frames", src, "2", "4"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> times;
    for (size_t at = 0; (at = r.out.find("2024-03-10 ", at)) != std::string::npos; at += 23)
        times.push_back(r.out.substr(at, 23));
    ASSERT_EQ(times.size(), 3u) << r.out;
    EXPECT_EQ(times[0], "2024-03-10 08:15:31.000");

    r = zvf({"export-time", src, "C:\\Exp\\t.zvf", q(times[0]), q(times[2])});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(file("drive_c/Exp/t.zvf")), 1);
}

namespace {

// The presentation times of a video's frames as ffprobe prints them (side data left out).
std::string ptsTimes(const std::string &video) {
    zvtest::ToolOutcome r =
        zvtest::runTool("ffprobe", {"-v", "error", "-show_entries", "frame=pts_time", "-of",
                                    "csv=p=0", QString::fromStdString(video)});
    std::string times;
    std::stringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            times += line.substr(0, line.find(',')) + " ";
    return times;
}

}  // namespace

TEST_F(ZvfExportTool, Mp4CommandsTakeTheirOptionsAndTheExportsMessages) {
    fs::create_directories(file("drive_c/Exp"));
    // Frames 500 ms apart: at ten times the speed 50 ms apart; --max-gap cuts even those.
    zvtest::ToolOutcome r =
        zvf({"export-mp4", src, "C:\\Exp\\a.mp4", "5", "1", "--speed", "10", "--no-timestamp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(contains(r.err, "%")) << "no progress line without a terminal: " << r.err;
    EXPECT_EQ(ptsTimes(file("drive_c/Exp/a.mp4")), "0.000000 0.050000 0.100000 0.150000 0.200000 ");

    r = zvf({"export-mp4-time", src, "C:\\Exp\\b.mp4", "2010-12-31 12:00:00", "2010-12-31 12:00:02",
             "--max-gap", "0.02"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ptsTimes(file("drive_c/Exp/b.mp4")), "0.000000 0.020000 0.040000 ");

    struct Case {
        QStringList args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"export-mp4", src, "C:\\Exp\\c.mp4", "0", "6"}, 1, "Недопустимые границы экспорта"},
        {{"export-mp4-time", src, "C:\\Exp\\c.mp4", "2011-01-01 00:00:00", "2011-01-02 00:00:00"},
         1,
         "Неверно указан временной интервал экспорта"},
        {{"export-mp4", src, "C:\\Exp\\c.mp4", "0", "1", "--speed", "0"}, 2, "Скорость"},
        {{"export-mp4", src, "C:\\Exp\\c.mp4", "0", "1", "--max-gap", "2s"}, 2, "--max-gap"},
        {{"export-mp4", src, "C:\\Exp\\c.mp4", "0", "1", "--speed"},
         2,
         "Отсутствует значение после «--speed»"},
        {{"export-mp4", src, "C:\\Exp\\c.mp4", "0", "1", "--7z"}, 2, "Неизвестный параметр «7z»"},
    };
    for (const Case &c : cases) {
        r = zvf(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    }
    EXPECT_FALSE(fs::exists(file("drive_c/Exp/c.mp4")));
}
