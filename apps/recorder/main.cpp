// ZORVideoService: the recorder. Takes pictures of the X screen at the delay of cnf.INI and
// appends them to the ZVF recording that the module's viewer and export read.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "RecorderProgram.h"
#include "platform/CommandLine.h"

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    zv::installQtTranslation();
    QCoreApplication::setApplicationName("ZORVideoService");
    QCoreApplication::setApplicationVersion(ZORVIDEO_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Records the X screen into a ZVF file with the settings of cnf.INI (section ZORVideo),\n"
        "following changes to the file while it runs. Ends on the quit message to its window\n"
        "\"TempForm\", on SIGTERM or SIGINT; SIGHUP reads the settings again. Logs to stderr\n"
        "and to the system journal, or else to ZORVideoService.log beside cnf.INI.\n"
        "Exit status: 0 after a clean end or when a recorder\n"
        "already runs on the display, 1 without a display or when --once wrote no frame, 2 on\n"
        "wrong usage.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption once(
        "once", "Take one frame now (also with zvEnableRec=0) and end: for trying a setup.");
    const QCommandLineOption config(
        "config", "Read the settings from PATH instead of C:\\WINDOWS\\cnf.INI.", "PATH");
    const QCommandLineOption noPointer(
        "no-pointer", "Leave the pointer out of the frames (by default it is drawn into them).");
    parser.addOption(once);
    parser.addOption(config);
    parser.addOption(noPointer);
    if (!parser.parse(app.arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.errorText().isEmpty()
                                  ? "unexpected argument " + parser.positionalArguments().first()
                                  : parser.errorText();
        std::fprintf(stderr, "ZORVideoService: %s\n%s", qPrintable(error),
                     qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    RecorderOptions options;
    options.once = parser.isSet(once);
    options.config = parser.value(config).toStdString();
    options.pointer = !parser.isSet(noPointer);
    return runRecorder(options);
}
