#include "ZvfCommand.h"

#include <cerrno>
#include <cstdlib>
#include <map>

#include "platform/Error.h"
#include "platform/Paths.h"

namespace {

std::map<std::string, ZvfCommand> &registry() {
    static std::map<std::string, ZvfCommand> commands;
    return commands;
}

}  // namespace

void registerZvfCommand(ZvfCommand command) {
    std::string name = command.name;
    registry()[name] = std::move(command);
}

std::vector<const ZvfCommand *> zvfCommands() {
    std::vector<const ZvfCommand *> list;
    for (const auto &[name, command] : registry())
        list.push_back(&command);
    return list;
}

const ZvfCommand *findZvfCommand(const std::string &name) {
    auto it = registry().find(name);
    return it == registry().end() ? nullptr : &it->second;
}

int64_t parseIntArg(const std::string &text, const char *what, int64_t min, int64_t max) {
    errno = 0;
    char *end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < min || v > max)
        throw ZvfUsageError(std::string(what) + " must be an integer from " + std::to_string(min) +
                            " to " + std::to_string(max) + ", not \"" + text + "\"");
    return v;
}

void expectPositional(const ZvfArgs &args, size_t min, size_t max) {
    if (args.positional.size() < min)
        throw ZvfUsageError("missing arguments");
    if (args.positional.size() > max)
        throw ZvfUsageError("too many arguments");
}

void requireExistingFile(const std::string &fileName) {
    if (!zv::fileExists(fileName))
        throw zv::Error("Файл не найден: " + fileName);
}
