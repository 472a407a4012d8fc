// The windows' face draws every text of the module, and its bold is visibly bold.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegularExpression>
#include <set>

#include "widgets/TahomaFont.h"

namespace {

// Every Cyrillic string literal of the module's sources (windows, messages, the tools' texts).
std::set<QString> russianTexts() {
    const QString root = QString::fromLocal8Bit(qgetenv("ZORVIDEO_TEST_SOURCE_DIR"));
    const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\\n]|\\.)*)")re"));
    const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    std::set<QString> texts;
    for (const char *folder : {"src", "apps"}) {
        QDirIterator it(root + QLatin1Char('/') + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString source = QString::fromUtf8(file.readAll());
            for (auto m = literal.globalMatch(source); m.hasNext();) {
                const QString text = m.next().captured(1);
                if (text.contains(cyrillic))
                    texts.insert(text);
            }
        }
    }
    return texts;
}

// Dark pixels of text drawn black on white.
int ink(const QFont &font, const QString &text) {
    QImage image(400, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(4, 20, text);
    painter.end();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 128;
    return dark;
}

TEST(WindowFonts, TheWindowsFaceHasEveryCharacterOfTheModulesTexts) {
    const std::set<QString> texts = russianTexts();
    ASSERT_GT(texts.size(), 100u) << "the sources were not found";
    for (const bool bold : {false, true}) {
        const QFont font = zv::tahomaFont(11, bold);
        const QRawFont face = QRawFont::fromFont(font);
        ASSERT_TRUE(face.isValid());
        EXPECT_EQ(QFontInfo(font).family(), face.familyName());
        QString missing;
        for (const QString &text : texts)
            for (const QChar c : text)
                if (c.isPrint() && !c.isSpace() && !face.supportsCharacter(c) &&
                    !missing.contains(c))
                    missing += c;
        EXPECT_TRUE(missing.isEmpty()) << face.familyName().toStdString() << " bold " << bold
                                       << " lacks: " << missing.toStdString();
    }
}

TEST(WindowFonts, BoldTextsAreDrawnHeavierThanRegularOnes) {
    for (const char *text : {"Пожалуйста ждите...", "c 120 по 4410", "Экспорт видео записи"}) {
        const QString t = QString::fromUtf8(text);
        const int regular = ink(zv::tahomaFont(11), t);
        const int bold = ink(zv::tahomaFont(11, true), t);
        EXPECT_GT(bold * 10, regular * 13) << text << ": regular " << regular << ", bold " << bold;
    }
}

}  // namespace
