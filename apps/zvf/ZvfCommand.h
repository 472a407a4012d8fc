#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// The commands of the zvf tool. Each command lives in its own file and registers itself with a
// static ZvfRegistrar, so adding a command touches no other file:
//
//     static ZvfRegistrar reg({"info", "zvf info FILE", "print size, count, first and last",
//                              false, &runInfo});
//
// A command returns the exit status (0 success, 1 failure). It throws ZvfUsageError for wrong
// arguments (exit 2, the usage on stderr) and zv::Error for a failure (exit 1, the message on
// stderr). "--help" is answered by the dispatcher before the command runs.
struct ZvfCommand {
    std::string name;
    std::string usage;      // the full usage text, first line "zvf NAME ..."
    std::string summary;    // one line for "zvf --help"
    bool needsGui = false;  // the dispatcher makes a QGuiApplication (offscreen by default) first
    std::function<int(const std::vector<std::string> &args)> run;  // args after the name
};

class ZvfUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void registerZvfCommand(ZvfCommand command);
// Sorted by name.
std::vector<const ZvfCommand *> zvfCommands();
const ZvfCommand *findZvfCommand(const std::string &name);

struct ZvfRegistrar {
    explicit ZvfRegistrar(ZvfCommand command) { registerZvfCommand(std::move(command)); }
};

// Argument helpers shared by the commands; they throw ZvfUsageError.
int64_t parseIntArg(const std::string &text, const char *what, int64_t min, int64_t max);
// Splits "--name value" options off args; returns the positional arguments. Unknown options and
// a missing value are usage errors. values receives the options found (last one wins).
std::vector<std::string> splitOptions(const std::vector<std::string> &args,
                                      const std::vector<std::string> &known,
                                      std::vector<std::pair<std::string, std::string>> &values);
// Fails with zv::Error "Файл не найден: NAME" unless the (mapped) file exists: reading commands
// must not create files.
void requireExistingFile(const std::string &fileName);
