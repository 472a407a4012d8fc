#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// The commands of the zvf tool. Each command lives in its own file and registers itself with a
// static ZvfRegistrar, so adding a command touches no other file:
//
//     static ZvfRegistrar reg({"info", "zvf info FILE", "print size, count, first and last",
//                              false, {}, &runInfo});
//
// The dispatcher parses the command line with QCommandLineParser (the command's options, then
// its positional arguments, in any order; "--" ends the options) before anything else runs.
// A command returns the exit status (0 success, 1 failure). It throws ZvfUsageError for wrong
// arguments (exit 2, the usage on stderr) and zv::Error for a failure (exit 1, the message on
// stderr). "--help" is answered by the dispatcher before the command runs.

// An option of a command: "--name VALUE" when valueName is set, a flag "--name" otherwise (the
// usage text describes it).
struct ZvfOption {
    std::string name;       // without the dashes
    std::string valueName;  // empty for a flag
};

// A command's arguments as parsed: the positional ones in order, with the bytes as given (a
// file name need not be UTF-8), and the options given, by name (a flag maps to "", an option
// given twice to its last value).
struct ZvfArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool has(const std::string &name) const { return options.count(name) != 0; }
};

struct ZvfCommand {
    std::string name;
    std::string usage;      // the full usage text, first line "zvf NAME ..."
    std::string summary;    // one line for "zvf --help"
    bool needsGui = false;  // the dispatcher makes a QGuiApplication (offscreen by default) first
    std::vector<ZvfOption> options;
    std::function<int(const ZvfArgs &args)> run{};
    // Set for a command that runs in a program of its own (zvfProgramPath): zvf answers its
    // --help and wrong arguments and then replaces itself with that program, which loads
    // libraries that the other commands do without. Empty: run is called.
    std::string program{};
};

class ZvfUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void registerZvfCommand(ZvfCommand command);
// Sorted by name.
std::vector<const ZvfCommand *> zvfCommands();
const ZvfCommand *findZvfCommand(const std::string &name);

// The path of a program of zvf's own commands: in the folder the installed layout puts them
// (ZVF_PROGRAM_DIR, relative to zvf's own folder), else beside zvf (a build tree). Empty when
// neither holds it.
std::string zvfProgramPath(const std::string &program);

struct ZvfRegistrar {
    explicit ZvfRegistrar(ZvfCommand command) { registerZvfCommand(std::move(command)); }
};

// Argument helpers shared by the commands; they throw ZvfUsageError.
int64_t parseIntArg(const std::string &text, const char *what, int64_t min, int64_t max);
// Between min and max positional arguments.
void expectPositional(const ZvfArgs &args, size_t min, size_t max);
// Fails with zv::Error "Файл не найден: NAME" unless the (mapped) name leads to something, and
// with the true reason when that is no regular file (a folder, a named pipe, a device) or the
// name cannot be followed (a link loop): reading commands must not create files.
void requireExistingFile(const std::string &fileName);

// The frames a reading command looks at: FILE [FIRST [LAST]] of its positional arguments, FIRST
// by default the first frame, LAST by default (and at most) the last one the file holds. A FIRST
// given beyond the file fails with zv::Error "Кадр N вне файла: кадров M"; usage errors throw
// ZvfUsageError (before the file is looked at, call it as soon as frameCount is known).
struct FrameRange {
    int32_t first = 0;
    int32_t last = -1;  // below first when the file holds no frame
};
FrameRange frameRangeOf(const ZvfArgs &args, int32_t frameCount);
