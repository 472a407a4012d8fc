#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <optional>
#include <string>

namespace zv {

// The program's arguments as Qt's command-line parser takes them (argv[0] first), each through
// fileNameToQString (FileNameText.h): a file name given on the command line survives the
// parsing byte for byte (qStringToFileName gives its bytes back).
QStringList commandLineArguments(int argc, char **argv);

// The parser's help text, with name as the program's name and no newline at the end.
std::string commandLineHelp(const QCommandLineParser &parser, const std::string &name);

// Installs Qt's own Russian translation (qtbase_ru.qm, package qt6-translations-l10n) into the
// application object that exists now, once per application object; without one, or without the
// file, nothing happens. Every program of the module speaks Russian, Qt's texts included (the
// command-line parser's errors, the standard dialogs' buttons). Call on the application's thread.
void installQtTranslation();

// Adds --help (and --version when offerVersion) to parser, parses arguments (argv[0] first) and
// answers what needs no more than the parser: --help (help on stdout, status 0), --version (the
// application's name and version, status 0) and a wrong option or a missing value (name, the
// parser's error in Russian and help on stderr, status 2). help empty: the parser's own text.
// Returns that status, or nullopt when the program goes on. Needs no application object and no
// display, so that a program answers these before it makes its own: without one, a plain
// QCoreApplication stands for the parsing alone (for Qt's Russian texts) and is gone again.
std::optional<int> answerCommandLine(QCommandLineParser &parser, const QStringList &arguments,
                                     const std::string &name, std::string help, bool offerVersion);

}  // namespace zv
