// The demo host end to end: the real binary loads the plug-in with dlopen, opens a window at
// start and saves a screenshot of it on the offscreen platform.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include "platform/Paths.h"
#include "recorder/SampleRecording.h"
#include "support/TempRoot.h"
#include "support/ToolProcess.h"

namespace {

struct HostRun {
    int exitCode = -1;
    QString errors;
};

class HostTest : public ::testing::Test {
protected:
    HostRun runHost(const QStringList &arguments) {
        QProcess host;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        host.setProcessEnvironment(env);
        host.start(QStringLiteral(ZORVIDEO_HOST_PATH), arguments);
        HostRun run;
        if (!host.waitForFinished(120'000)) {
            host.kill();
            host.waitForFinished();
            ADD_FAILURE() << "the host did not end";
            return run;
        }
        run.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
        run.errors = QString::fromUtf8(host.readAllStandardError());
        return run;
    }

    QString shot(const char *name) const { return QString::fromStdString(root_.file(name)); }

    zvtest::TempRoot root_;
};

// Distinct colours in a sample of the picture's pixels: a blank or one-colour grab has few.
int colourCount(const QImage &image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    }
    return colours.size();
}

TEST_F(HostTest, ShowsTheRecordingAndSavesAPictureOfTheViewer) {
    ::mkdir(root_.file("drive_c").c_str(), 0755);
    ::mkdir(root_.file("drive_c/VELD").c_str(), 0755);
    ::mkdir(root_.file("drive_c/VELD/ZORVIDEO").c_str(), 0755);
    SampleOptions options;
    options.frames = 3;
    options.width = 320;
    options.height = 240;
    writeSampleRecording(zv::nativePath("C:\\VELD\\ZORVIDEO\\BigFile.zvf"), options);

    const HostRun run =
        runHost({QStringLiteral("--show"), QStringLiteral("C:\\VELD\\ZORVIDEO\\BigFile.zvf"),
                 QStringLiteral("--screenshot"), shot("viewer.png")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("ShowVideoForm"))) << run.errors.toStdString();
    const QImage picture(shot("viewer.png"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_GE(picture.width(), 320);
    EXPECT_GE(picture.height(), 240);
    EXPECT_GT(colourCount(picture), 16);
}

TEST_F(HostTest, OpensTheSettingsWindowThroughTheMenuEntry) {
    const HostRun run =
        runHost({QStringLiteral("--settings"), QStringLiteral("--query"), QStringLiteral("1"),
                 QStringLiteral("--screenshot"), shot("settings.png")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("(VideoForm,"))) << run.errors.toStdString();
    const QImage picture(shot("settings.png"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(392, 348));
    EXPECT_GT(colourCount(picture), 4);
}

TEST_F(HostTest, OpensTheExportWindowOverAFile) {
    ::mkdir(root_.file("drive_c").c_str(), 0755);
    SampleOptions options;
    options.frames = 3;
    options.width = 64;
    options.height = 48;
    writeSampleRecording(zv::nativePath("C:\\rec.zvf"), options);
    const HostRun run = runHost({QStringLiteral("--export"), QStringLiteral("C:\\rec.zvf"),
                                 QStringLiteral("--screenshot"), shot("export.png")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(
        QString::fromUtf8("(ExportForm, \"Экспорт видео записи C:\\rec.zvf\")")))
        << run.errors.toStdString();
    const QImage picture(shot("export.png"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(420, 376));
}

// Run without any display and without the offscreen platform: the options are answered before
// the windows need one.
zvtest::ToolOutcome runWithoutDisplay(const char *program, const QStringList &arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return zvtest::runTool(QString::fromUtf8(program), arguments, env);
}

TEST_F(HostTest, HelpVersionAndWrongOptionsNeedNoDisplay) {
    for (const char *program : {ZORVIDEO_HOST_PATH, ZORVIDEO_SHOWVIDEO_PATH}) {
        const std::string name = QFileInfo(QString::fromUtf8(program)).fileName().toStdString();
        SCOPED_TRACE(name);
        zvtest::ToolOutcome r = runWithoutDisplay(program, {QStringLiteral("--help")});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("--screenshot <PATH>"), std::string::npos) << r.out;
        r = runWithoutDisplay(program, {QStringLiteral("--version")});
        EXPECT_EQ(r.status, 0) << r.err;
        const QRegularExpression version(QString::fromStdString("^" + name + " \\d+\\.\\d+\n$"));
        EXPECT_TRUE(version.match(QString::fromStdString(r.out)).hasMatch()) << r.out;
        r = runWithoutDisplay(program, {QStringLiteral("--bogus")});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("bogus"), std::string::npos) << r.err;
        r = runWithoutDisplay(program, {QStringLiteral("--screenshot")});
        EXPECT_EQ(r.status, 2);
    }
    EXPECT_EQ(runWithoutDisplay(ZORVIDEO_HOST_PATH, {"--query", "yes"}).status, 2);
    EXPECT_EQ(runWithoutDisplay(ZORVIDEO_HOST_PATH, {"extra"}).status, 2);
    EXPECT_EQ(runWithoutDisplay(ZORVIDEO_SHOWVIDEO_PATH, {}).status, 2);
}

TEST_F(HostTest, AMissingPluginEndsWithAnError) {
    const HostRun missing = runHost({QStringLiteral("--library"), shot("none.so"),
                                     QStringLiteral("--screenshot"), shot("x.png")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.errors.contains(QStringLiteral("none.so"))) << missing.errors.toStdString();
}

}  // namespace
