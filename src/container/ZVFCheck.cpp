#include "container/ZVFCheck.h"

#include <algorithm>
#include <cmath>

#include "container/ZVFConstants.h"
#include "container/ZVFFrameReader.h"
#include "platform/Paths.h"

namespace zvf {

namespace {

// Entries are checked in blocks so that a full index (10 MB) is never held at once.
constexpr int32_t kBlockEntries = 65'536;

std::string faultLine(FrameFault fault, const TZVFFrameEntry &e, int64_t length) {
    switch (fault) {
        case FrameFault::None:
            break;
        case FrameFault::Size:
            return "размер " + std::to_string(e.Size) + " не больше нуля";
        case FrameFault::TooLarge:
            return "размер " + std::to_string(e.Size) + " больше 256 МБ";
        case FrameFault::Offset:
            return "смещение " + std::to_string(e.Offset) + " отрицательно";
        case FrameFault::BeyondEnd:
            return "байты кадра " + std::to_string(e.Offset) + "+" + std::to_string(e.Size) +
                   " выходят за конец файла длиной " + std::to_string(length) + " байт";
    }
    return {};
}

}  // namespace

CheckResult checkFile(const std::string &fileName, size_t maxProblems, zv::FileSystem &files) {
    CheckResult result;
    // A damaged file may have a problem per entry; only the lines kept are put into words.
    auto problem = [&](auto &&text) {
        if (result.lines.size() < maxProblems)
            result.lines.push_back(text());
        ++result.problems;
    };

    std::unique_ptr<zv::RandomFile> file =
        files.open(zv::nativeFilePath(fileName), zv::FileSystem::OpenMode::Read);
    const int64_t length = file->length();
    const std::optional<int32_t> count = readCount(*file);
    if (!count) {
        problem([&] {
            return "файл длиной " + std::to_string(length) + " байт короче счётчика кадров";
        });
        return result;
    }
    if (*count < 0)
        problem([&] { return "счётчик кадров " + std::to_string(*count) + " отрицателен"; });
    if (*count > kCapacity)
        problem([&] {
            return "счётчик кадров " + std::to_string(*count) + " больше ёмкости " +
                   std::to_string(kCapacity);
        });
    const int32_t held = entriesHeld(length);
    int32_t n = std::clamp(*count, 0, kCapacity);
    if (n > held) {
        problem([&] {
            return "счётчик кадров " + std::to_string(*count) + ", но в файле только " +
                   std::to_string(held) + " записей индекса";
        });
        n = held;
    }

    std::vector<TZVFFrameEntry> block;
    std::vector<uint8_t> raw;
    double previous = -INFINITY;
    for (int32_t first = 0; first < n; first += kBlockEntries) {
        const int32_t m = std::min(kBlockEntries, n - first);
        readEntries(*file, first, m, block, raw);
        for (int32_t k = 0; k < static_cast<int32_t>(block.size()); ++k) {
            const TZVFFrameEntry &e = block[static_cast<size_t>(k)];
            auto name = [&] { return "запись " + std::to_string(first + k) + ": "; };
            const FrameFault fault = frameFault(e, length);
            if (fault != FrameFault::None)
                problem([&] { return name() + faultLine(fault, e, length); });
            const DateFault date = dateFault(e.DateTime, previous);
            if (date != DateFault::None)
                problem([&] { return name() + dateFaultText(date); });
            // A date-time that is no moment leaves the order to the one before it.
            if (date != DateFault::NotFinite)
                previous = e.DateTime;
        }
        if (static_cast<int32_t>(block.size()) < m) {
            problem([&] {
                return "индекс обрывается на записи " + std::to_string(first + block.size());
            });
            break;
        }
    }
    return result;
}

}  // namespace zvf
