// Whole-number spin fields: a value from outside the limits becomes the nearest limit, typed ones
// too, whenever the typed text is taken (Enter, leaving the field, a window reading it).
#include "widgets/SpinEdit.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
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

namespace {

// Replaces what the field shows as the operator does: select all, type.
void type(QAbstractSpinBox *field, const char *keys) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromLatin1(keys));
}

class SpinEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        spin = new zv::SpinEdit(&window);
        spin->setRange(50, 9999999);
        spin->setValue(1000);
        other = new QPushButton(QStringLiteral("other"), &window);
        other->move(0, 40);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QDialog window;
    zv::SpinEdit *spin = nullptr;
    QPushButton *other = nullptr;
};

TEST_F(SpinEditTest, TypedValuesOutsideTheLimitsBecomeTheNearestLimit) {
    type(spin, "10");
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(spin->value(), 50);
    EXPECT_EQ(spin->text(), QStringLiteral("50"));

    // Above the maximum: every digit is taken, and leaving the field gives the maximum.
    type(spin, "123456789");
    EXPECT_EQ(spin->text(), QStringLiteral("123456789"));
    other->setFocus();
    EXPECT_EQ(spin->value(), 9999999);

    // Read without leaving the field (a button that takes no focus).
    type(spin, "7");
    EXPECT_EQ(spin->AsInteger(), 50);
    type(spin, "640");
    EXPECT_EQ(spin->AsInteger(), 640);
}

TEST_F(SpinEditTest, TypingPassesThroughValuesOutsideTheLimitsAndRefusesOtherKeys) {
    // 1 and 10 lie below the minimum on the way to 100; they are not corrected while typing.
    type(spin, "1");
    EXPECT_EQ(spin->text(), QStringLiteral("1"));
    QTest::keyClicks(spin, QStringLiteral("00"));
    EXPECT_EQ(spin->text(), QStringLiteral("100"));
    EXPECT_EQ(spin->value(), 100);
    type(spin, "2x5");
    EXPECT_EQ(spin->text(), QStringLiteral("25"));
    // Text that makes no number gives the last value back.
    type(spin, "-");
    EXPECT_EQ(spin->AsInteger(), 100);
    // Set by the program: the same rule.
    spin->setValue(-3);
    EXPECT_EQ(spin->value(), 50);
}

TEST(SpinFields, SettingsWindowAppliesTheNearestLimitOfWhatWasTyped) {
    QLocale::setDefault(QLocale::c());
    zvtest::TempRoot root;
    zvtest::FakeControlServices services;
    TRecordingSettings settings;
    zv::ScopedMessageHandler quiet{[](const std::string &, zv::MessageKind) {}};
    TVideoForm form(settings, services.bundle());
    form.LoadSettings();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    // 30 + Enter in the delay field: 40, and the estimate follows.
    type(form.seFrameDelay, "30");
    QTest::keyClick(form.seFrameDelay, Qt::Key_Return);
    EXPECT_EQ(form.seFrameDelay->value(), 40);
    EXPECT_EQ(form.lbSizeInHour->text(), QStringLiteral("3150.00"));

    // 10 below 50 MB, then "Применить" at once: 50 is written.
    type(form.seHDDSize, "10");
    type(form.seMAxFileSize, "12345678");
    form.BitBtn1Click();
    EXPECT_EQ(settings.MinHDDSize, 50);
    EXPECT_EQ(settings.MaxFileSize, 9999999);
    EXPECT_EQ(settings.WaitForNextFrame, 40);
    const std::string cnf =
        zv::cp1251ToUtf8(zvtest::readFile(root.file("drive_c/WINDOWS/cnf.INI")));
    EXPECT_NE(cnf.find("zvMinHDDSize=50\r\n"), std::string::npos) << cnf;
    EXPECT_NE(cnf.find("zvMaxFileSize=9999999\r\n"), std::string::npos) << cnf;
}

TEST(SpinFields, ExportWindowExportsTheNearestFrameOfWhatWasTyped) {
    QLocale::setDefault(QLocale::c());
    zvtest::TempRoot root;
    std::filesystem::create_directories(root.file("drive_c/VELD"));
    {
        ZVFAppender out("C:\\VELD\\rec.zvf");
        const std::vector<uint8_t> gif = zvtest::smallGif(1);
        for (int k = 0; k < 10; ++k)
            out.append(gif.data(), gif.size(), zv::encodeDateTime({2024, 3, 5, 10, 0, k, 0}));
    }
    TExportForm form;
    ASSERT_TRUE(form.OpenForFile("C:\\VELD\\rec.zvf"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.rbIntFrame->setChecked(true);

    type(form.seStartFrames, "3");
    type(form.seEndFrames, "250");  // the recording ends at frame 9
    const zv::ExportRequest request = form.exportRequest();
    EXPECT_EQ(request.first, 3);
    EXPECT_EQ(request.last, 9);
    EXPECT_EQ(form.seEndFrames->text(), QStringLiteral("9"));
}

}  // namespace
