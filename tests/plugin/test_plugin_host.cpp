// The demo host end to end: the real binary loads the plug-in with dlopen, opens a window at
// start and saves a screenshot of it on the offscreen platform.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QStringList>

#include "platform/Paths.h"
#include "recording/SampleRecording.h"
#include "support/TempRoot.h"

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

TEST_F(HostTest, AMissingPluginEndsWithAnError) {
    const HostRun missing = runHost({QStringLiteral("--library"), shot("none.so"),
                                     QStringLiteral("--screenshot"), shot("x.png")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.errors.contains(QStringLiteral("none.so"))) << missing.errors.toStdString();
}

}  // namespace
