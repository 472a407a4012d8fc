// showvideo FILE [--screenshot PATH] [--frame-list]: shows a recording in the viewer as the
// operator sees it. With --screenshot the window is saved as PNG once it has painted its first
// frame, and closed; --frame-list shows the list of frames first.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <string>

#include "platform/Paths.h"
#include "viewer/ShowVideoUnit.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WindowResources.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: showvideo FILE [--screenshot PATH] [--frame-list]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    std::string file;
    QString screenshot;
    bool frameList = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size())
            screenshot = args[++i];
        else if (args[i] == QLatin1String("--frame-list"))
            frameList = true;
        else if (file.empty() && !args[i].startsWith(QLatin1String("--")))
            file = args[i].toStdString();
        else
            return usage();
    }
    if (file.empty())
        return usage();
    if (!zv::fileExists(file)) {
        std::fprintf(stderr, "showvideo: no such file: %s\n", file.c_str());
        return 1;
    }
    zv::installMessageBoxes();
    zv::prepareWindows();

    TShowVideoForm form;
    bool saved = true;
    if (frameList)
        QTimer::singleShot(0, &form, [&] { form.sbFrames->click(); });
    if (!screenshot.isEmpty()) {
        // Long enough for the window manager (if any) to place the window and the first paint.
        QTimer::singleShot(1500, &form, [&] {
            saved = form.grab().save(screenshot, "PNG");
            std::fprintf(stderr, "showvideo: %s %s\n",
                         saved ? "screenshot saved to" : "could not save",
                         screenshot.toLocal8Bit().constData());
            form.close();
        });
    }
    try {
        form.ShowVideoFile(file);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "showvideo: %s\n", e.what());
        return 1;
    }
    return saved ? 0 : 1;
}
