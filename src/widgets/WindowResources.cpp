#include "widgets/WindowResources.h"

#include "platform/CommandLine.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QThread>

namespace zv {

namespace {

const char *const kFontFolder = "/usr/share/wine/fonts/";
// Only the regular face: fonts-wine's bold Tahoma draws one-pixel stems at the windows' 11 px, so
// that bold texts looked regular. Without a bold face of the family, Qt draws bold by thickening
// the regular one, with the same advances, every glyph of it included.
const char *const kFontFiles[] = {"tahoma.ttf"};

bool onGuiThread() {
    const QCoreApplication *app = QGuiApplication::instance();
    return qobject_cast<const QGuiApplication *>(app) && QThread::currentThread() == app->thread();
}

void loadQtTranslation() {
    if (onGuiThread())
        installQtTranslation();
}

}  // namespace

void loadWindowFonts() {
    static bool done = false;
    if (done || !onGuiThread())
        return;
    done = true;
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
        return;
    for (const char *file : kFontFiles)
        (void)QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFolder) +
                                                QString::fromLatin1(file));
}

void prepareWindows() {
    loadWindowFonts();
    loadQtTranslation();
}

}  // namespace zv
