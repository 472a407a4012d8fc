#include "platform/CommandLine.h"

#include <QCoreApplication>
#include <cstdio>

#include "platform/FileNameText.h"

namespace zv {

QStringList commandLineArguments(int argc, char **argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << fileNameToQString(argv[i]);
    return arguments;
}

std::string commandLineHelp(const QCommandLineParser &parser, const std::string &name) {
    // Without an application object the parser does not know the program's name.
    std::string help =
        parser.helpText()
            .replace(QStringLiteral("<executable_name>"), QString::fromStdString(name))
            .toStdString();
    while (!help.empty() && help.back() == '\n')
        help.pop_back();
    return help;
}

std::optional<int> answerCommandLine(QCommandLineParser &parser, const QStringList &arguments,
                                     const std::string &name, std::string help, bool offerVersion) {
    const QCommandLineOption helpOption = parser.addHelpOption();
    std::optional<QCommandLineOption> versionOption;
    if (offerVersion)
        versionOption = parser.addVersionOption();
    if (help.empty())
        help = commandLineHelp(parser, name);
    while (!help.empty() && help.back() == '\n')
        help.pop_back();
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s: %s\n%s\n", name.c_str(),
                     parser.errorText().toLocal8Bit().constData(), help.c_str());
        return 2;
    }
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        std::printf("%s\n", help.c_str());
        return 0;
    }
    if (versionOption && parser.isSet(*versionOption)) {
        std::printf("%s %s\n", QCoreApplication::applicationName().toLocal8Bit().constData(),
                    QCoreApplication::applicationVersion().toLocal8Bit().constData());
        return 0;
    }
    return std::nullopt;
}

}  // namespace zv
