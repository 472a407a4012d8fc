// zvf: the command line over ZVF recordings, for people who handle them without the host.
#include <QGuiApplication>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "ZvfCommand.h"

namespace {

void printOverview(std::FILE *out) {
    std::fputs("usage: zvf COMMAND ARGS...   (zvf COMMAND --help for details)\n\ncommands:\n", out);
    for (const ZvfCommand *c : zvfCommands())
        std::fprintf(out, "  %-16s %s\n", c->name.c_str(), c->summary.c_str());
}

bool isHelp(const std::string &a) {
    return a == "--help" || a == "-h";
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        printOverview(stderr);
        return 2;
    }
    if (isHelp(args[0])) {
        printOverview(stdout);
        return 0;
    }
    const ZvfCommand *command = findZvfCommand(args[0]);
    if (!command) {
        std::fprintf(stderr, "zvf: unknown command \"%s\"\n", args[0].c_str());
        printOverview(stderr);
        return 2;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string &a : rest) {
        if (isHelp(a)) {
            std::printf("%s\n", command->usage.c_str());
            return 0;
        }
    }

    // The tool never shows a window: rendering happens on the offscreen platform unless the
    // caller asks for another one.
    std::unique_ptr<QGuiApplication> app;
    if (command->needsGui) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    try {
        int status = command->run(rest);
        std::fflush(stdout);
        return status;
    } catch (const ZvfUsageError &e) {
        std::fprintf(stderr, "zvf %s: %s\n%s\n", command->name.c_str(), e.what(),
                     command->usage.c_str());
        return 2;
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
