#include "recording/VideoUnit.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "platform/Cp1251.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "recording/DefaultConfig.h"
#include "support/FakeControlServices.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"
#include "widgets/SpinEdit.h"
#include "widgets/Switch.h"

namespace {

class VideoFormTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    std::string cnfPath() const { return root.file("drive_c/WINDOWS/cnf.INI"); }
    std::string cnf() const { return zv::cp1251ToUtf8(zvtest::readFile(cnfPath())); }
    void writeCnf(const std::string &text) { zvtest::writeFile(cnfPath(), zv::utf8ToCp1251(text)); }

    // The window as load() leaves it, then shown (not modally, so the test keeps control).
    TVideoForm &open(bool fakeViewer = true) {
        form = std::make_unique<TVideoForm>(settings, services.bundle());
        form->setFileDialogRunner([this](QFileDialog &dialog) {
            dialogs.push_back(&dialog);
            offered.push_back(dialog.selectedFiles().value(0));
            return dialogAnswer;
        });
        if (fakeViewer) {
            form->setShowFile([this](const std::string &name) {
                shown.push_back(name);
                if (viewerFails)
                    throw zv::Error("Файл не найден");
            });
            form->setExportFile([this](const std::string &name) { exported.push_back(name); });
        }
        form->LoadSettings();
        form->show();
        return *form;
    }
    void apply() { QTest::mouseClick(form->BitBtn1, Qt::LeftButton); }

    zvtest::TempRoot root;
    zvtest::FakeControlServices services;
    TRecordingSettings settings;
    std::vector<std::string> messages;
    zv::ScopedMessageHandler recorder{
        [this](const std::string &text, zv::MessageKind) { messages.push_back(text); }};
    std::unique_ptr<TVideoForm> form;
    std::vector<QFileDialog *> dialogs;
    std::vector<QString> offered;  // the name each dialog offered when it was run
    std::vector<std::string> exported;
    QString dialogAnswer;
    std::vector<std::string> shown;
    bool viewerFails = false;
};

TEST_F(VideoFormTest, LayoutCaptionsAndLimits) {
    TVideoForm &f = open();
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8("Запись\\просмотр видеозаписей"));
    EXPECT_EQ(f.size(), QSize(392, 348));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_EQ(f.parent(), nullptr);

    struct Place {
        QWidget *widget;
        QWidget *parent;
        QRect rect;
    };
    QWidget *g = f.GroupBox1;
    const Place places[] = {
        {f.GroupBox1, &f, {3, 2, 387, 258}},       {f.cbStart, g, {44, 17, 222, 34}},
        {f.RxSwitch1, g, {12, 26, 26, 40}},        {f.bGo, g, {266, 7, 66, 19}},
        {f.bStop, g, {266, 26, 66, 18}},           {f.bAddAuto, g, {205, 46, 179, 17}},
        {f.bDelAuto, g, {205, 63, 179, 17}},       {f.Image2, g, {342, 10, 34, 33}},
        {f.Image1, g, {348, 13, 25, 26}},          {f.Image3, g, {338, 203, 34, 27}},
        {f.Image4, g, {343, 206, 25, 25}},         {f.edFileForRec, g, {47, 81, 314, 21}},
        {f.SpeedButton1, g, {361, 80, 23, 22}},    {f.seFrameDelay, g, {232, 105, 64, 21}},
        {f.rbQualityNorm, g, {126, 126, 168, 17}}, {f.rbQualityHi, g, {126, 142, 168, 17}},
        {f.seMAxFileSize, g, {232, 183, 64, 21}},  {f.seHDDSize, g, {232, 207, 64, 21}},
        {f.CheckBox1, g, {8, 231, 185, 17}},       {f.btShowVideo, &f, {69, 264, 230, 41}},
        {f.BitBtn2, &f, {305, 264, 78, 41}},       {f.BitBtn1, &f, {69, 309, 155, 32}},
        {f.btClose, &f, {229, 309, 155, 32}},
    };
    for (const Place &p : places) {
        EXPECT_EQ(p.widget->parentWidget(), p.parent) << p.widget->objectName().toStdString();
        EXPECT_EQ(p.widget->geometry(), p.rect) << p.widget->objectName().toStdString();
    }
    EXPECT_EQ(f.Label1->pos(), QPoint(6, 84));
    EXPECT_EQ(f.Label3->pos(), QPoint(6, 210));
    EXPECT_EQ(f.lbSizeInHour->pos(), QPoint(235, 159));
    // Marks lie over their indicators.
    EXPECT_GT(g->children().indexOf(f.Image1), g->children().indexOf(f.Image2));
    EXPECT_GT(g->children().indexOf(f.Image4), g->children().indexOf(f.Image3));

    EXPECT_EQ(f.Label2->text(), QString::fromUtf8("Задержка между кадрами") + QString(25, '_') +
                                    "   " + QString::fromUtf8("мс"));
    EXPECT_EQ(f.Label3->text(), QString::fromUtf8("Остановить запись, когда на диске меньше") +
                                    QString(23, ' ') + QString::fromUtf8("мб"));
    EXPECT_EQ(f.BitBtn1->text(), QString::fromUtf8("Применить"));
    EXPECT_EQ(f.bDelAuto->text(), QString::fromUtf8("Убрать из автозагрузки"));

    EXPECT_EQ(f.seFrameDelay->minimum(), 40);
    EXPECT_EQ(f.seFrameDelay->maximum(), 9999999);
    EXPECT_EQ(f.seHDDSize->minimum(), 50);
    EXPECT_EQ(f.seMAxFileSize->maximum(), 9999999);
    EXPECT_TRUE(f.BitBtn1->isDefault());
    EXPECT_EQ(f.SpeedButton1->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(f.Timer1->isActive());  // while shown
    EXPECT_EQ(f.Timer1->interval(), 1000);
    EXPECT_TRUE(f.Image4->isHidden());
    EXPECT_FALSE(f.Image1->isHidden());

    // Tooltips only where the window has them; the CR LF hint shows as lines.
    EXPECT_TRUE(f.CheckBox1->toolTip().startsWith(
        QString::fromUtf8("Использовании данной опции позволяет удалять старые\nфайлы")));
    EXPECT_EQ(f.CheckBox1->toolTip().count('\n'), 5);
    EXPECT_FALSE(f.seMAxFileSize->toolTip().isEmpty());
    EXPECT_FALSE(f.Image1->toolTip().isEmpty());
    EXPECT_FALSE(f.Image4->toolTip().isEmpty());
    for (QWidget *w : {static_cast<QWidget *>(f.Image2), static_cast<QWidget *>(f.Image3),
                       static_cast<QWidget *>(f.bGo), static_cast<QWidget *>(f.seFrameDelay)})
        EXPECT_TRUE(w->toolTip().isEmpty()) << w->objectName().toStdString();

    // Both dialogs: one filter, extension zvf, no overwrite question, any name accepted.
    for (QFileDialog *d : {f.sdFileName, f.odFileName}) {
        EXPECT_EQ(d->nameFilters(), QStringList{QString::fromUtf8("ЗОРВАН видео файл (*.zvf)")});
        EXPECT_EQ(d->defaultSuffix(), "zvf");
        EXPECT_EQ(d->fileMode(), QFileDialog::AnyFile);
        EXPECT_TRUE(d->testOption(QFileDialog::DontConfirmOverwrite));
    }
    EXPECT_EQ(f.sdFileName->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(f.odFileName->acceptMode(), QFileDialog::AcceptOpen);
}

TEST_F(VideoFormTest, TabOrder) {
    TVideoForm &f = open();
    const QWidget *expected[] = {
        f.btClose,     f.btShowVideo, f.edFileForRec, f.seFrameDelay,  f.seHDDSize, f.rbQualityNorm,
        f.rbQualityHi, f.cbStart,     f.RxSwitch1,    f.seMAxFileSize, f.CheckBox1, f.bGo,
        f.bStop,       f.bAddAuto,    f.bDelAuto,     f.BitBtn1,       f.BitBtn2};
    for (size_t i = 0; i + 1 < std::size(expected); ++i) {
        // What Tab reaches next: skip widgets that take no Tab focus and the spin fields'
        // inner line edits, which sit in the chain right after them.
        QWidget *next = expected[i]->nextInFocusChain();
        while (next->parentWidget() == expected[i] || !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << expected[i]->objectName().toStdString();
    }
}

TEST_F(VideoFormTest, WithoutFileShowsDefaultsAndApplyWritesTheEightLines) {
    TVideoForm &f = open();
    EXPECT_FALSE(std::filesystem::exists(cnfPath()));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(f.edFileForRec->text(), "C:\\VELD\\ZORVIDEO\\BigFile.zvf");
    EXPECT_TRUE(f.rbQualityNorm->isChecked());
    EXPECT_EQ(f.seFrameDelay->value(), 1000);
    EXPECT_EQ(f.seHDDSize->value(), 1000);
    EXPECT_EQ(f.seMAxFileSize->value(), 4000);
    EXPECT_FALSE(f.cbStart->isChecked());
    EXPECT_FALSE(f.RxSwitch1->stateOn());
    EXPECT_TRUE(f.CheckBox1->isChecked());  // RecursiveRecord defaults to true
    EXPECT_EQ(f.lbSizeInHour->text(), "126.00");

    // Enter in a field presses the default button "Применить"; the window stays open.
    QTest::keyClick(f.edFileForRec, Qt::Key_Return);
    EXPECT_EQ(cnf(), kDefaultSection);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(f.isVisible());
    QTest::keyClick(f.edFileForRec, Qt::Key_Escape);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(VideoFormTest, OddValuesAreShownWithinLimitsAndWrittenBackClean) {
    writeCnf(
        "[Before]\r\nx=1\r\n[ZORVideo]\r\n"
        "zvOutFile=D:\\Видео\\смена.zvf\r\n"
        "zvBitRate=6\r\nzvWaitForNextFrame=10\r\nzvMinHDDSize=10\r\n"
        "zvEnableRec=5\r\nzvMaxFileSize=10\r\nzvRecursiveRecord=0\r\n[After]\r\ny=2\r\n");
    TVideoForm &f = open();
    EXPECT_EQ(f.edFileForRec->text().toStdString(), "D:\\Видео\\смена.zvf");
    EXPECT_TRUE(f.rbQualityHi->isChecked());
    EXPECT_EQ(f.seFrameDelay->value(), 40);
    EXPECT_EQ(f.seHDDSize->value(), 50);
    EXPECT_EQ(f.seMAxFileSize->value(), 50);
    EXPECT_TRUE(f.cbStart->isChecked());
    EXPECT_TRUE(f.RxSwitch1->stateOn());
    EXPECT_FALSE(f.CheckBox1->isChecked());
    // The record holds what the file said until the operator applies.
    EXPECT_EQ(settings.BitRate, 6);
    EXPECT_EQ(settings.MinHDDSize, 10);

    apply();
    EXPECT_EQ(cnf(),
              "[Before]\r\nx=1\r\n[ZORVideo]\r\n"
              "zvOutFile=D:\\Видео\\смена.zvf\r\n"
              "zvBitRate=8\r\nzvWaitForNextFrame=40\r\nzvMinHDDSize=50\r\n"
              "zvEnableRec=1\r\nzvMaxFileSize=50\r\nzvRecursiveRecord=0\r\n[After]\r\ny=2\r\n");
    EXPECT_EQ(settings.BitRate, 8);
    EXPECT_EQ(settings.MinHDDSize, 50);
}

TEST_F(VideoFormTest, RecursiveCheckBoxIsBoundToItsSetting) {
    TVideoForm &f = open();
    QTest::mouseClick(f.CheckBox1, Qt::LeftButton);
    EXPECT_FALSE(f.CheckBox1->isChecked());
    apply();
    EXPECT_NE(cnf().find("zvRecursiveRecord=0\r\n"), std::string::npos);
    EXPECT_FALSE(settings.RecursiveRecord);
}

TEST_F(VideoFormTest, SizeEstimateFollowsDelayAndQuality) {
    TVideoForm &f = open();
    EXPECT_EQ(f.lbSizeInHour->text(), "126.00");
    QTest::mouseClick(f.rbQualityHi, Qt::LeftButton);
    EXPECT_EQ(f.lbSizeInHour->text(), "234.00");
    f.seFrameDelay->setValue(40);
    EXPECT_EQ(f.lbSizeInHour->text(), "5850.00");
    QTest::mouseClick(f.rbQualityNorm, Qt::LeftButton);
    EXPECT_EQ(f.lbSizeInHour->text(), "3150.00");
    EXPECT_GE(f.lbSizeInHour->width(), f.lbSizeInHour->fontMetrics().horizontalAdvance("3150.00"));
    f.seFrameDelay->setValue(9999999);
    EXPECT_EQ(f.lbSizeInHour->text(), "0.00");
    f.seFrameDelay->setValue(1440000);  // 2.5 frames: rounds to 2
    EXPECT_EQ(f.lbSizeInHour->text(), "0.07");

    // The operator's locale gives the separator, and no group separators appear.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    f.seFrameDelay->setValue(40);
    EXPECT_EQ(f.lbSizeInHour->text(), "3150,00");
}

TEST_F(VideoFormTest, SwitchAndCheckBoxAlwaysAgree) {
    TVideoForm &f = open();
    QTest::mouseClick(f.RxSwitch1, Qt::LeftButton);
    EXPECT_TRUE(f.cbStart->isChecked());
    EXPECT_TRUE(f.RxSwitch1->stateOn());
    QTest::mouseClick(f.RxSwitch1, Qt::LeftButton);
    EXPECT_FALSE(f.cbStart->isChecked());
    EXPECT_FALSE(f.RxSwitch1->stateOn());
    QTest::mouseClick(f.cbStart, Qt::LeftButton);
    EXPECT_TRUE(f.RxSwitch1->stateOn());
    f.RxSwitch1->setFocus();
    QTest::keyClick(f.RxSwitch1, Qt::Key_Space);
    EXPECT_FALSE(f.cbStart->isChecked());
    EXPECT_FALSE(f.RxSwitch1->stateOn());
    f.cbStart->setChecked(true);  // by the program
    EXPECT_TRUE(f.RxSwitch1->stateOn());

    apply();
    EXPECT_NE(cnf().find("zvEnableRec=1\r\n"), std::string::npos);
}

TEST_F(VideoFormTest, ApplyAddsTheExtensionOnlyWhenZvfIsNowhere) {
    TVideoForm &f = open();
    const std::pair<const char *, const char *> cases[] = {
        {"D:\\rec\\day", "D:\\rec\\day.zvf"},       {"D:\\rec\\a.ZVF.old", "D:\\rec\\a.ZVF.old"},
        {"d:\\rec\\b.zvf", "d:\\rec\\b.zvf"},       {"", ".zvf"},
        {"D:\\Смена\\день", "D:\\Смена\\день.zvf"},
    };
    for (const auto &[typed, applied] : cases) {
        f.edFileForRec->setText(QString::fromUtf8(typed));
        apply();
        EXPECT_EQ(f.edFileForRec->text().toStdString(), applied);
        EXPECT_EQ(settings.OutFile, applied);
        EXPECT_NE(cnf().find(std::string("zvOutFile=") + applied + "\r\n"), std::string::npos);
    }
}

TEST_F(VideoFormTest, HostQueryDecidesTheServiceButtons) {
    static int calls;
    calls = 0;
    TVideoForm &f = open();  // shown without a query: buttons as designed
    const QPushButton *buttons[] = {f.bGo, f.bStop, f.bAddAuto, f.bDelAuto};
    for (const QPushButton *b : buttons)
        EXPECT_FALSE(b->isHidden());

    f.hide();
    f.setHostQuery([](zv::Variant *answer, int32_t code, int32_t zero) {
        ++calls;
        EXPECT_EQ(code, 56);
        EXPECT_EQ(zero, 0);
        answer->vt = zv::VT_I4;
        answer->lVal = 1;
    });
    f.show();
    EXPECT_EQ(calls, 1);
    for (const QPushButton *b : buttons)
        EXPECT_TRUE(b->isHidden());

    f.hide();
    f.setHostQuery([](zv::Variant *answer, int32_t, int32_t) {
        ++calls;
        answer->vt = zv::VT_BSTR;  // released by the window; the sanitizer watches
        answer->bstrVal = zv::sysAllocString(u"0");
    });
    f.show();
    EXPECT_EQ(calls, 2);
    for (const QPushButton *b : buttons)
        EXPECT_FALSE(b->isHidden());

    // No query: the last visibility stays.
    f.hide();
    f.bStop->hide();
    f.setHostQuery(nullptr);
    f.show();
    EXPECT_TRUE(f.bStop->isHidden());
    EXPECT_FALSE(f.bGo->isHidden());
}

TEST_F(VideoFormTest, ChoosingAFileChangesNothingUntilApplied) {
    writeCnf(kDefaultSection);
    TVideoForm &f = open();
    const std::string before = zvtest::readFile(cnfPath());
    const TRecordingSettings loaded = settings;

    dialogAnswer.clear();  // cancelled
    QTest::mouseClick(f.SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(f.edFileForRec->text(), "C:\\VELD\\ZORVIDEO\\BigFile.zvf");

    dialogAnswer = "/srv/video/new.zvf";
    QTest::mouseClick(f.SpeedButton1, Qt::LeftButton);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs.back(), f.sdFileName);
    EXPECT_EQ(f.edFileForRec->text(), "/srv/video/new.zvf");

    QTest::mouseClick(f.btClose, Qt::LeftButton);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(zvtest::readFile(cnfPath()), before);
    EXPECT_EQ(settings, loaded);
    f.show();
    EXPECT_EQ(f.edFileForRec->text(), "/srv/video/new.zvf");
}

TEST_F(VideoFormTest, ShowVideoOpensTheChosenFile) {
    TVideoForm &f = open();
    dialogAnswer.clear();
    QTest::mouseClick(f.btShowVideo, Qt::LeftButton);
    EXPECT_TRUE(shown.empty());

    dialogAnswer = "/srv/video/missing.zvf";
    QTest::mouseClick(f.btShowVideo, Qt::LeftButton);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs.back(), f.odFileName);
    EXPECT_EQ(shown, std::vector<std::string>{"/srv/video/missing.zvf"});

    viewerFails = true;  // an error of the viewer is shown, not thrown into the event loop
    QTest::mouseClick(f.btShowVideo, Qt::LeftButton);
    EXPECT_EQ(messages, std::vector<std::string>{"Файл не найден"});
    EXPECT_EQ(settings, TRecordingSettings{});
}

TEST_F(VideoFormTest, TheRealViewerReturnsAtOnceForAMissingFile) {
    TVideoForm &f = open(/*fakeViewer=*/false);
    dialogAnswer = QString::fromStdString(root.file("none.zvf"));
    QTest::mouseClick(f.btShowVideo, Qt::LeftButton);  // would block here if a window were shown
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(f.isVisible());
}

TEST_F(VideoFormTest, FailedWriteIsShownAndNothingIsTakenAsApplied) {
    std::filesystem::create_directories(cnfPath());  // a folder where the file should be
    TVideoForm &f = open();
    EXPECT_TRUE(messages.empty());  // loading stays silent
    f.seHDDSize->setValue(2000);
    apply();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("cnf.INI"), std::string::npos) << messages[0];
    EXPECT_EQ(settings.MinHDDSize, 1000);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.seHDDSize->value(), 2000);

    // A path that Windows-1251 cannot hold is refused the same way.
    std::filesystem::remove(cnfPath());
    f.edFileForRec->setText(QString::fromUtf8("D:\\录像.zvf"));
    apply();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(cnfPath()));
    EXPECT_EQ(settings.OutFile, TRecordingSettings{}.OutFile);
}

TEST_F(VideoFormTest, PlacementIsKeptBetweenWindows) {
    {
        TVideoForm &f = open();
        f.move(120, 80);
        f.hide();
    }
    TRecordingSettings other;
    TVideoForm second(other);
    // The offscreen platform may shift a restored window by its frame of a few pixels.
    EXPECT_NEAR(second.pos().x(), 120, 4);
    EXPECT_NEAR(second.pos().y(), 80, 4);
}

}  // namespace

TEST_F(VideoFormTest, ExportSharesTheOpenDialogWithTheViewerButton) {
    TVideoForm &f = open();
    const QString picked = QString::fromStdString(root.file("picked.zvf"));
    const QString other = QString::fromStdString(root.file("other.zvf"));
    dialogAnswer = picked;
    QTest::mouseClick(f.btShowVideo, Qt::LeftButton);
    // The export button does not clear the dialog: it offers the viewer's pick.
    dialogAnswer = other;
    QTest::mouseClick(f.BitBtn2, Qt::LeftButton);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs.back(), f.odFileName);
    EXPECT_EQ(offered.back(), picked);
    EXPECT_EQ(exported, std::vector<std::string>{other.toStdString()});
    // A cancelled export dialog keeps the name; the viewer button clears it first.
    dialogAnswer.clear();
    QTest::mouseClick(f.BitBtn2, Qt::LeftButton);
    EXPECT_EQ(offered.back(), other);
    EXPECT_EQ(exported.size(), 1u);
    QTest::mouseClick(f.btShowVideo, Qt::LeftButton);
    EXPECT_FALSE(offered.back().endsWith(".zvf")) << offered.back().toStdString();
    EXPECT_EQ(shown, std::vector<std::string>{picked.toStdString()});
}

TEST_F(VideoFormTest, TheRealExportWindowShowsNothingForATypedMissingFile) {
    TVideoForm &f = open(/*fakeViewer=*/false);
    dialogAnswer = QString::fromStdString(root.file("typed.zvf"));
    QTest::mouseClick(f.BitBtn2, Qt::LeftButton);  // would block here if a window were shown
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(std::filesystem::exists(root.file("typed.zvf")));
    EXPECT_TRUE(f.isVisible());
}
