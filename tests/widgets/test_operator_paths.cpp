// Names chosen in the windows' file dialogs reach the fields, cnf.INI and the captions as the
// operator names them: a file on a mapped drive as "C:\…", any other as it stands.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <filesystem>

#include "container/GifFixtures.h"
#include "container/ZVFAppender.h"
#include "export/VideoExportUnit.h"
#include "platform/Cp1251.h"
#include "platform/DateTime.h"
#include "platform/Messages.h"
#include "recording/VideoUnit.h"
#include "support/FakeControlServices.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"
#include "viewer/Recordings.h"
#include "viewer/ShowVideoUnit.h"

namespace {

class OperatorPathsTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    zvtest::TempRoot root;
    zv::ScopedMessageHandler quiet{[](const std::string &, zv::MessageKind) {}};
};

TEST_F(OperatorPathsTest, SettingsWindowStoresTheDrivePathOfTheChosenFile) {
    zvtest::FakeControlServices services;
    TRecordingSettings settings;
    TVideoForm form(settings, services.bundle());
    QString answer;
    std::vector<std::string> shown;
    form.setFileDialogRunner([&](QFileDialog &) { return answer; });
    form.setShowFile([&](const std::string &name) { shown.push_back(name); });
    form.LoadSettings();

    answer = QString::fromStdString(root.file("drive_c/VELD/ZORVIDEO/x.zvf"));
    form.SpeedButton1Click();
    EXPECT_EQ(form.edFileForRec->text(), QStringLiteral("C:\\VELD\\ZORVIDEO\\x.zvf"));
    form.BitBtn1Click();
    EXPECT_EQ(settings.OutFile, "C:\\VELD\\ZORVIDEO\\x.zvf");
    const std::string cnf =
        zv::cp1251ToUtf8(zvtest::readFile(root.file("drive_c/WINDOWS/cnf.INI")));
    EXPECT_NE(cnf.find("zvOutFile=C:\\VELD\\ZORVIDEO\\x.zvf\r\n"), std::string::npos) << cnf;

    // A file elsewhere keeps its native name.
    answer = QStringLiteral("/srv/rec/day.zvf");
    form.SpeedButton1Click();
    EXPECT_EQ(form.edFileForRec->text(), answer);

    // The viewer is handed the operator's name too.
    answer = QString::fromStdString(root.file("drive_d/a.zvf"));
    form.btShowVideoClick();
    EXPECT_EQ(shown, std::vector<std::string>{"D:\\a.zvf"});
}

TEST_F(OperatorPathsTest, ExportWindowFillsDrivePathsFromItsDialogs) {
    std::filesystem::create_directories(root.file("drive_c/VELD"));
    {
        ZVFAppender out("C:\\VELD\\rec.zvf");
        const std::vector<uint8_t> gif = zvtest::smallGif(1);
        out.append(gif.data(), gif.size(), zv::encodeDateTime({2024, 3, 5, 10, 0, 0, 0}));
    }
    TExportForm form;
    QString answer;
    form.setDialogRunner([&](QFileDialog &) { return answer; });
    ASSERT_TRUE(form.OpenForFile("C:\\VELD\\rec.zvf"));
    answer = QString::fromStdString(root.file("drive_d/Exp/a.zvf"));
    form.SpeedButton1Click();
    EXPECT_EQ(form.edExportFile->text(), QStringLiteral("D:\\Exp\\a.zvf"));
    answer = QString::fromStdString(root.file("drive_d/Exp/pictures"));
    form.setDialogRunner([&](QFileDialog &chooser) {
        // The plain folder chooser: nothing to make a folder with, nowhere to type a name.
        for (const char *part : {"newFolderButton", "fileNameEdit"}) {
            const QWidget *w = chooser.findChild<QWidget *>(QString::fromLatin1(part));
            EXPECT_TRUE(w && w->isHidden()) << part;
        }
        EXPECT_EQ(chooser.fileMode(), QFileDialog::Directory);
        return answer;
    });
    form.SpeedButton2Click();
    EXPECT_EQ(form.edExportDir->text(), QStringLiteral("D:\\Exp\\pictures"));
    answer = QStringLiteral("/srv/pictures");
    form.SpeedButton2Click();
    EXPECT_EQ(form.edExportDir->text(), answer);
}

TEST_F(OperatorPathsTest, ViewerCaptionNamesTheOpenedFileAsTheOperatorDoes) {
    zvtest::makeRecording(root.file("drive_c/VELD/ZORVIDEO/BigFile.zvf"), 2);
    TShowVideoForm form;
    form.setFileChooser(
        [&] { return QString::fromStdString(root.file("drive_c/VELD/ZORVIDEO/BigFile.zvf")); });
    form.sbOpenClick();
    EXPECT_EQ(form.windowTitle(),
              QString::fromUtf8("Просмотр видеофайла: C:\\VELD\\ZORVIDEO\\BigFile.zvf"));
}

}  // namespace
