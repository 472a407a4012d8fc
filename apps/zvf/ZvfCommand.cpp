#include "ZvfCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "container/ZVFConstants.h"
#include "platform/Error.h"
#include "platform/File.h"
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
        throw ZvfUsageError(std::string(what) + ": ожидается целое число от " +
                            std::to_string(min) + " до " + std::to_string(max) + ", а не \"" +
                            text + "\"");
    return v;
}

void expectPositional(const ZvfArgs &args, size_t min, size_t max) {
    if (args.positional.size() < min)
        throw ZvfUsageError("не хватает аргументов");
    if (args.positional.size() > max)
        throw ZvfUsageError("лишние аргументы");
}

namespace {

struct FrameRangeArgs {
    int64_t first;
    int64_t last;
};

FrameRangeArgs frameRangeArgs(const ZvfArgs &parsed) {
    const std::vector<std::string> &args = parsed.positional;
    const int64_t first =
        args.size() > 1 ? parseIntArg(args[1], "FIRST", 0, zvf::kCapacity - 1) : 0;
    const int64_t last =
        args.size() > 2 ? parseIntArg(args[2], "LAST", 0, zvf::kCapacity - 1) : zvf::kCapacity - 1;
    if (last < first)
        throw ZvfUsageError("LAST меньше FIRST");
    return {first, last};
}

}  // namespace

FrameRange frameRangeOf(const ZvfArgs &parsed, int32_t frameCount) {
    const FrameRangeArgs range = frameRangeArgs(parsed);
    if (parsed.positional.size() > 1 && range.first >= frameCount)
        throw zv::Error("Кадр " + std::to_string(range.first) + " вне файла: кадров " +
                        std::to_string(frameCount));
    return {static_cast<int32_t>(range.first),
            static_cast<int32_t>(std::min<int64_t>(range.last, frameCount - 1))};
}

void requireExistingFile(const std::string &fileName) {
    const std::string native = zv::nativePath(fileName);
    struct stat st {};
    if (native.empty() || ::stat(native.c_str(), &st) != 0) {
        // Only a name that leads nowhere is "not found"; a link loop or a component that is no
        // folder says so.
        if (native.empty() || errno == ENOENT)
            throw zv::Error("Файл не найден: " + fileName);
        throw zv::Error(zv::systemErrorText("Не удается открыть файл \"" + fileName + "\"", errno));
    }
    if (!S_ISREG(st.st_mode))
        throw zv::Error("Не удается открыть файл \"" + fileName +
                        "\": " + zv::notRegularFileReason(st.st_mode));
}

std::string zvfProgramPath(const std::string &program) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    for (const std::filesystem::path &folder :
         {self.parent_path() / ZVF_PROGRAM_DIR, self.parent_path()}) {
        const std::filesystem::path path = (folder / program).lexically_normal();
        if (::access(path.c_str(), X_OK) == 0)
            return path.string();
    }
    return {};
}
