#include "platform/CommandLine.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>
#include <cstdio>
#include <memory>

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

void installQtTranslation() {
    static QPointer<QCoreApplication> translated;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || translated == app)
        return;
    translated = app;
    // A child of the application: it lives as long as the application it translates.
    auto *translator = new QTranslator(app);
    if (translator->load(QStringLiteral("qtbase_ru"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

std::optional<int> answerCommandLine(QCommandLineParser &parser, const QStringList &arguments,
                                     const std::string &name, std::string help, bool offerVersion) {
    // Qt translates only through an application object; this one lives for the parsing alone,
    // named as the program (the parser's help shows its name).
    std::string stubName = name.substr(0, name.find(' '));
    int stubArgc = 1;
    char *stubArgv[] = {stubName.data(), nullptr};
    std::unique_ptr<QCoreApplication> stub;
    if (!QCoreApplication::instance())
        stub = std::make_unique<QCoreApplication>(stubArgc, stubArgv);
    installQtTranslation();
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
