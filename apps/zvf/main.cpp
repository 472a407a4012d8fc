// zvf: the command line over ZVF recordings, for people who handle them without the host.
#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "ZvfCommand.h"
#include "platform/CommandLine.h"
#include "platform/FileNameText.h"

namespace {

std::string overview() {
    std::string text =
        "использование: zvf КОМАНДА АРГУМЕНТЫ...   (подробно: zvf КОМАНДА --help)\n"
        "               zvf --version\n\nкоманды:\n";
    for (const ZvfCommand *c : zvfCommands()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-16s %s\n", c->name.c_str(), c->summary.c_str());
        text += line;
    }
    return text;
}

// Qt's GUI start looks into the session's runtime folder, which it takes from XDG_RUNTIME_DIR and
// otherwise makes in /tmp with a warning on every run (as root, say, where no session set it).
// The tool draws offscreen and keeps nothing there: where the variable is unset it gets an empty
// folder of its own for the run, removed at the end.
class PrivateRuntimeFolder {
public:
    PrivateRuntimeFolder() {
        if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
            return;
        char folder[] = "/tmp/zvf-runtime-XXXXXX";
        if (::mkdtemp(folder)) {
            folder_ = folder;
            qputenv("XDG_RUNTIME_DIR", folder_.c_str());
        }
    }
    ~PrivateRuntimeFolder() {
        if (!folder_.empty())
            ::rmdir(folder_.c_str());
    }
    PrivateRuntimeFolder(const PrivateRuntimeFolder &) = delete;
    PrivateRuntimeFolder &operator=(const PrivateRuntimeFolder &) = delete;

private:
    std::string folder_;
};

// The command's options and positional arguments, in any order ("--" ends the options); its
// --help and wrong options are answered here, with the status to exit with.
std::optional<ZvfArgs> parseCommand(const ZvfCommand &command, const QStringList &arguments,
                                    int &status) {
    QCommandLineParser parser;
    for (const ZvfOption &o : command.options)
        parser.addOption(QCommandLineOption(QString::fromStdString(o.name), QString(),
                                            QString::fromStdString(o.valueName)));
    if (const std::optional<int> answered =
            zv::answerCommandLine(parser, arguments, "zvf " + command.name, command.usage, false)) {
        status = *answered;
        return std::nullopt;
    }
    ZvfArgs args;
    for (const QString &p : parser.positionalArguments())
        args.positional.push_back(zv::qStringToFileName(p));
    for (const ZvfOption &o : command.options) {
        const QString name = QString::fromStdString(o.name);
        if (parser.isSet(name))
            args.options[o.name] = zv::qStringToFileName(parser.value(name));
    }
    return args;
}

// A command of a program of its own: that program takes over the process with the same
// arguments. Returns only when it cannot be started.
int runInProgram(const ZvfCommand &command, char **argv) {
    const std::string path = zvfProgramPath(command.program);
    if (path.empty()) {
        std::fprintf(stderr, "zvf %s: не найдена программа %s (ZORVideo установлен не полностью)\n",
                     command.name.c_str(), command.program.c_str());
        return 1;
    }
    std::fflush(nullptr);
    argv[0] = const_cast<char *>(path.c_str());
    ::execv(path.c_str(), argv);
    std::fprintf(stderr, "zvf %s: %s: %s\n", command.name.c_str(), path.c_str(),
                 std::strerror(errno));
    return 1;
}

int runCommand(const ZvfCommand &command, const ZvfArgs &args, int argc, char **argv) {
    if (!command.program.empty())
        return runInProgram(command, argv);
    // The tool never shows a window: rendering happens on the offscreen platform unless the
    // caller asks for another one.
    std::optional<PrivateRuntimeFolder> runtime;  // outlives the application
    std::unique_ptr<QGuiApplication> app;
    if (command.needsGui) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        runtime.emplace();
        app = std::make_unique<QGuiApplication>(argc, argv);
        zv::installQtTranslation();
    }
    try {
        int status = command.run(args);
        std::fflush(stdout);
        return status;
    } catch (const ZvfUsageError &e) {
        std::fprintf(stderr, "zvf %s: %s\n%s\n", command.name.c_str(), e.what(),
                     command.usage.c_str());
        return 2;
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication::setApplicationName(QStringLiteral("zvf"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORVIDEO_VERSION));

    // The tool's own options stand before the command; everything after it is the command's.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QStringList arguments = zv::commandLineArguments(argc, argv);
    if (const std::optional<int> answered =
            zv::answerCommandLine(parser, arguments, "zvf", overview(), true))
        return *answered;
    const QStringList rest = parser.positionalArguments();
    if (rest.isEmpty()) {
        std::fputs(overview().c_str(), stderr);
        return 2;
    }
    const std::string name = zv::qStringToFileName(rest.front());
    const ZvfCommand *command = findZvfCommand(name);
    if (!command) {
        std::fprintf(stderr, "zvf: неизвестная команда \"%s\"\n%s", name.c_str(),
                     overview().c_str());
        return 2;
    }
    int status = 0;
    const std::optional<ZvfArgs> args = parseCommand(*command, rest, status);
    return args ? runCommand(*command, *args, argc, argv) : status;
}
