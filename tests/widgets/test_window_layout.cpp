// Every window laid out in the font it was designed with (Tahoma, from fonts-wine where the
// system has none): each caption fits its label, and no word of a caption lies under another
// control. Geometry and font metrics, not pixels.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <string>
#include <vector>

#include "container/GifFixtures.h"
#include "container/ZVFAppender.h"
#include "export/VideoExportUnit.h"
#include "platform/DateTime.h"
#include "platform/Messages.h"
#include "recording/VideoUnit.h"
#include "support/FakeControlServices.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"
#include "viewer/Recordings.h"
#include "viewer/ShowVideoUnit.h"
#include "widgets/SpinEdit.h"
#include "widgets/TahomaFont.h"
#include "widgets/WindowResources.h"

namespace {

// The controls a caption may not lie under: everything the operator reads or presses, but not
// the frames that hold them, nor the parts inside a control (the edit of a spin field).
bool isControl(const QWidget *w) {
    return qobject_cast<const QLabel *>(w) || qobject_cast<const QAbstractButton *>(w) ||
           qobject_cast<const QAbstractSpinBox *>(w) || qobject_cast<const QLineEdit *>(w) ||
           qobject_cast<const QAbstractSlider *>(w) || qobject_cast<const QAbstractItemView *>(w) ||
           w->objectName() == QLatin1String("RxSwitch1") || w->objectName() == QLatin1String("pb");
}

bool insideAControl(const QWidget *w, const QWidget *window) {
    for (const QWidget *p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (isControl(p))
            return true;
    return false;
}

QRect inWindow(const QWidget *w, const QRect &rect, const QWidget *window) {
    return QRect(w->mapTo(window, rect.topLeft()), rect.size());
}

// The baseline of a one-line caption and the left end of its text, as the label draws it.
QPoint captionOrigin(const QLabel *label) {
    const QFontMetrics fm(label->font());
    const QRect box = label->contentsRect();
    const int width = fm.horizontalAdvance(label->text());
    int left = box.left();
    if (label->alignment() & Qt::AlignRight)
        left = box.right() + 1 - width;
    else if (label->alignment() & Qt::AlignHCenter)
        left = box.left() + (box.width() - width) / 2;
    int top = box.top() + (box.height() - fm.height()) / 2;
    if (label->alignment() & Qt::AlignTop)
        top = box.top();
    else if (label->alignment() & Qt::AlignBottom)
        top = box.bottom() + 1 - fm.height();
    return {left, top + fm.ascent()};
}

// The ink of each word of a one-line caption, in window coordinates: runs of characters other
// than blanks and underscores (the runs of blanks and underscores are where other controls lie).
std::vector<std::pair<QString, QRect>> captionWords(const QLabel *label, const QWidget *window) {
    std::vector<std::pair<QString, QRect>> words;
    const QFontMetrics fm(label->font());
    const QString text = label->text();
    const QPoint origin = captionOrigin(label);
    auto isGap = [&](int k) { return text[k] == QLatin1Char(' ') || text[k] == '_'; };
    for (int i = 0; i < text.size();) {
        if (isGap(i)) {
            ++i;
            continue;
        }
        int end = i;
        while (end < text.size() && !isGap(end))
            ++end;
        const QString word = text.mid(i, end - i);
        const QRect ink = fm.tightBoundingRect(word).translated(
            origin + QPoint(fm.horizontalAdvance(text.left(i)), 0));
        words.emplace_back(word, inWindow(label, ink, window));
        i = end;
    }
    return words;
}

// Failures as text, one per line: captions cut off, words under another control.
std::string layoutFaults(const QWidget *window) {
    std::string faults;
    std::vector<const QWidget *> controls;
    for (const QWidget *w : window->findChildren<QWidget *>())
        if (w->isVisibleTo(window) && isControl(w) && !insideAControl(w, window))
            controls.push_back(w);
    for (const QWidget *w : controls) {
        const auto *label = qobject_cast<const QLabel *>(w);
        if (!label || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        const QString name = label->objectName();
        const QFontMetrics fm(label->font());
        const QRect box = label->contentsRect();
        if (label->wordWrap()) {
            const QRect needed =
                fm.boundingRect(box, Qt::TextWordWrap | label->alignment(), label->text());
            if (needed.width() > box.width() || needed.height() > box.height())
                faults += name.toStdString() + ": wrapped caption needs " +
                          std::to_string(needed.width()) + "x" + std::to_string(needed.height()) +
                          "\n";
            continue;
        }
        const QRect ink = fm.tightBoundingRect(label->text()).translated(captionOrigin(label));
        if (fm.horizontalAdvance(label->text()) > box.width() || ink.top() < box.top() ||
            ink.bottom() > box.bottom())
            faults += name.toStdString() + ": caption needs " +
                      std::to_string(fm.horizontalAdvance(label->text())) + " x " +
                      std::to_string(ink.height()) + " px of " + std::to_string(box.width()) +
                      " x " + std::to_string(box.height()) + "\n";
        for (const auto &[word, rect] : captionWords(label, window)) {
            for (const QWidget *other : controls) {
                if (other == w || other->isAncestorOf(w) || w->isAncestorOf(other))
                    continue;
                // Another label covers a word only with words of its own.
                std::vector<QRect> covered;
                if (const auto *l = qobject_cast<const QLabel *>(other); l && l->pixmap().isNull())
                    for (const auto &[_, r] : captionWords(l, window))
                        covered.push_back(r);
                else
                    covered.push_back(inWindow(other, other->rect(), window));
                for (const QRect &r : covered)
                    if (r.intersects(rect))
                        faults += name.toStdString() + ": \"" + word.toStdString() +
                                  "\" lies under " + other->objectName().toStdString() + "\n";
            }
        }
    }
    return faults;
}

// The widest value a spin field holds shows all its digits.
void expectMaximumShows(QSpinBox *spin) {
    const QString widest = QString::number(spin->maximum());
    const QLineEdit *edit = spin->findChild<QLineEdit *>();
    ASSERT_TRUE(edit);
    const int room = edit->contentsRect().width() - 4;  // the edit's own margins
    EXPECT_LE(QFontMetrics(spin->font()).horizontalAdvance(widest), room)
        << spin->objectName().toStdString() << ": " << widest.toStdString();
}

class WindowLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        zv::prepareWindows();
    }
    zvtest::TempRoot root;
    zv::ScopedMessageHandler quiet{[](const std::string &, zv::MessageKind) {}};
};

TEST_F(WindowLayoutTest, TheWindowsUseTahoma) {
    EXPECT_EQ(QFontInfo(zv::tahomaFont(11)).family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(QFontInfo(zv::tahomaFont(11, true)).family(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(QFontInfo(zv::tahomaFont(11, true)).bold());
}

TEST_F(WindowLayoutTest, SettingsWindowCaptionsFitAndStayClearOfTheFields) {
    zvtest::FakeControlServices services;
    TRecordingSettings settings;
    TVideoForm form(settings, services.bundle());
    form.LoadSettings();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(QFontInfo(form.Label2->font()).family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(layoutFaults(&form), "");
    for (QSpinBox *spin : {form.seFrameDelay, form.seHDDSize, form.seMAxFileSize})
        expectMaximumShows(spin);
}

TEST_F(WindowLayoutTest, ViewerCaptionsFitAndItsValuesStandAtTheirPlaces) {
    const std::string file = root.file("rec.zvf");
    zvtest::makeRecording(file, 3);
    TShowVideoForm form;
    ASSERT_TRUE(form.OpenVideoFile(file));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ShowFrame(1);
    EXPECT_EQ(layoutFaults(&form), "");
    // The size and the date-time of the frame stand in the blanks of "Текущий кадр: …".
    EXPECT_EQ(form.LbFrSize->x(), 152);
    EXPECT_NEAR(form.lbFrData->x(), 269, 4);
    form.sbFrames->click();
    EXPECT_EQ(layoutFaults(&form), "");
}

TEST_F(WindowLayoutTest, ExportWindowCaptionsFitOnEveryPanel) {
    std::filesystem::create_directories(root.file("drive_c/VELD"));
    {
        ZVFAppender out("C:\\VELD\\rec.zvf");
        const std::vector<uint8_t> gif = zvtest::smallGif(1);
        for (int k = 0; k < 1000; ++k)
            out.append(gif.data(), gif.size(),
                       zv::encodeDateTime({2024, 12, 25, 23, 0, 0, 0}) + k / 86'400.0);
    }
    TExportForm form;
    ASSERT_TRUE(form.OpenForFile("C:\\VELD\\rec.zvf"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (QRadioButton *target : {form.rbExpVideo, form.rbExpPictures})
        for (QRadioButton *interval : {form.rbIntTime, form.rbIntFrame, form.rbIntGraph}) {
            target->setChecked(true);
            interval->setChecked(true);
            SCOPED_TRACE(target->objectName().toStdString() + " " +
                         interval->objectName().toStdString());
            EXPECT_EQ(layoutFaults(&form), "");
        }
    for (QSpinBox *spin : {form.seStartFrames, form.seEndFrames})
        expectMaximumShows(spin);
}

}  // namespace

namespace {

TEST(WindowLanguage, TheStandardDialogsSpeakRussian) {
    zv::prepareWindows();
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const auto *lookIn = dialog.findChild<QLabel *>(QStringLiteral("lookInLabel"));
    ASSERT_TRUE(lookIn);
    EXPECT_EQ(lookIn->text(), QString::fromUtf8("Перейти к:"));
    const auto *buttons = dialog.findChild<QDialogButtonBox *>();
    ASSERT_TRUE(buttons);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("Отмена"));
}

}  // namespace
