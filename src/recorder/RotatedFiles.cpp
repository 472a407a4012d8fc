#include "recorder/RotatedFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <tuple>

#include "platform/DateTime.h"

namespace fs = std::filesystem;

namespace zv {

namespace {

struct Parts {
    fs::path folder;
    std::string stem;
    std::string extension;
};

Parts partsOf(const std::string &recording) {
    const fs::path path(recording);
    return {path.parent_path(), path.stem().string(), path.extension().string()};
}

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "<YYYYMMDD>_<hhmmss>" and the number (1 without one) of a rotated name; false for others.
bool parseRotated(const Parts &parts, std::string_view name, std::string &stamp, long &number) {
    if (name.size() < parts.stem.size() + parts.extension.size() + 16 ||
        name.substr(0, parts.stem.size()) != parts.stem ||
        name.substr(name.size() - parts.extension.size()) != parts.extension)
        return false;
    std::string_view rest = name.substr(parts.stem.size());
    rest.remove_suffix(parts.extension.size());
    // rest: "_YYYYMMDD_hhmmss" or "_YYYYMMDD_hhmmss_N"
    if (rest[0] != '_' || rest[9] != '_' || !allDigits(rest.substr(1, 8)) ||
        !allDigits(rest.substr(10, 6)))
        return false;
    number = 1;
    if (rest.size() > 16) {
        const std::string_view tail = rest.substr(16);
        if (tail[0] != '_' || !allDigits(tail.substr(1)) || tail.size() > 10 || tail[1] == '0')
            return false;
        number = std::stol(std::string(tail.substr(1)));
        if (number < 2)
            return false;
    }
    stamp = std::string(rest.substr(1, 15));
    return true;
}

}  // namespace

std::string rotatedFileName(const std::string &recording, double firstDateTime, int number) {
    const Parts parts = partsOf(recording);
    const DateTimeFields f = decodeDateTime(firstDateTime);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d_%02d%02d%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    std::string name = parts.stem + stamp;
    if (number > 1) {
        name += '_';
        name += std::to_string(number);
    }
    return (parts.folder / (name + parts.extension)).string();
}

bool isRotatedFileName(const std::string &recording, const std::string &fileName) {
    std::string stamp;
    long number = 0;
    return parseRotated(partsOf(recording), fileName, stamp, number);
}

std::vector<std::string> rotatedFiles(const std::string &recording) {
    const Parts parts = partsOf(recording);
    struct Found {
        std::string stamp;
        long number;
        std::string path;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (fs::directory_iterator it(parts.folder.empty() ? "." : parts.folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::string stamp;
        long number = 0;
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (parseRotated(parts, name, stamp, number) && it->is_regular_file(typeError))
            found.push_back({std::move(stamp), number, it->path().string()});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        return std::tie(a.stamp, a.number, a.path) < std::tie(b.stamp, b.number, b.path);
    });
    std::vector<std::string> paths;
    for (Found &f : found)
        paths.push_back(std::move(f.path));
    return paths;
}

}  // namespace zv
