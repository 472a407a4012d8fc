// showvideo FILE [--screenshot PATH] [--frame-list]: shows a recording in the viewer as the
// operator sees it. With --screenshot the window is saved as PNG once it has painted its first
// frame, and closed; --frame-list shows the list of frames first.
#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>

#include "platform/CommandLine.h"
#include "platform/FileNameText.h"
#include "platform/Paths.h"
#include "viewer/ShowVideoUnit.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WindowResources.h"

namespace {

struct Options {
    std::string file;  // the bytes as given
    QString screenshot;
    bool frameList = false;
};

// Parses the options before any GUI exists, so that --help, --version and wrong options need no
// display. Returns the options, or the exit status when the viewer must not start.
std::variant<Options, int> parseOptions(int argc, char **argv) {
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QString::fromUtf8("сохранить окно в PNG, когда оно нарисует первый кадр, и закрыть его"),
        QStringLiteral("PATH"));
    const QCommandLineOption frameList(QStringLiteral("frame-list"),
                                       QString::fromUtf8("сразу показать список кадров"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8("Показывает запись в окне просмотра."));
    parser.addOptions({screenshot, frameList});
    parser.addPositionalArgument(QStringLiteral("FILE"), QString::fromUtf8("запись"));
    if (const std::optional<int> answered = zv::answerCommandLine(
            parser, zv::commandLineArguments(argc, argv), "showvideo", {}, true))
        return *answered;
    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "showvideo: нужен один FILE\n%s\n",
                     zv::commandLineHelp(parser, "showvideo").c_str());
        return 2;
    }
    return Options{zv::qStringToFileName(parser.positionalArguments().front()),
                   parser.value(screenshot), parser.isSet(frameList)};
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication::setApplicationName(QStringLiteral("showvideo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORVIDEO_VERSION));
    const std::variant<Options, int> parsed = parseOptions(argc, argv);
    if (const int *status = std::get_if<int>(&parsed))
        return *status;
    // Plain references, not a structured binding: the lambdas below capture them, which
    // clang 14 (the fuzzers' compiler) refuses for bindings.
    const Options &options = std::get<Options>(parsed);
    const std::string &file = options.file;
    const QString &screenshot = options.screenshot;
    const bool frameList = options.frameList;

    QApplication app(argc, argv);
    if (!zv::fileExists(file)) {
        std::fprintf(stderr, "showvideo: файл не найден: %s\n", file.c_str());
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
                         saved ? "снимок окна сохранён в" : "не удалось сохранить",
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
