#include "recorder/RecordingRepair.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "container/ZVFConstants.h"
#include "container/ZVFFrameReader.h"
#include "platform/DateTime.h"

namespace zv {

namespace {

constexpr int32_t kBlockEntries = 65'536;

RecordingVerdict damaged(int32_t count, std::string problem) {
    return {RecordingVerdict::Kind::Damaged, count, 0, std::move(problem)};
}

}  // namespace

RecordingVerdict inspectRecording(RandomFile &file) {
    const int64_t length = file.length();
    const std::optional<int32_t> stored = zvf::readCount(file);
    if (!stored) {
        // Cut before the count ends (or never written): nothing to keep.
        if (length == 0)
            return {};
        return {RecordingVerdict::Kind::TornTail, 0, 0,
                "файл короче счетчика кадров (" + std::to_string(length) + " байт)"};
    }
    const int32_t count = *stored;
    if (count < 0 || count > zvf::kCapacity)
        return damaged(count, "счетчик кадров " + std::to_string(count) + " вне пределов 0.." +
                                  std::to_string(zvf::kCapacity));
    const int32_t named = std::min(count, zvf::entriesHeld(length));
    // keep: the sound frames at the front; firstBad: where the tail of unreadable frames starts.
    int32_t keep = -1;
    double previous = -INFINITY;
    std::vector<TZVFFrameEntry> block;
    std::vector<uint8_t> raw;
    for (int32_t first = 0; first < named; first += kBlockEntries) {
        zvf::readEntries(file, first, std::min(kBlockEntries, named - first), block, raw);
        for (size_t k = 0; k < block.size(); ++k) {
            const TZVFFrameEntry &e = block[k];
            const int32_t index = first + static_cast<int32_t>(k);
            const bool readable = zvf::frameFault(e, length) == zvf::FrameFault::None;
            if (keep >= 0) {
                if (readable)
                    return damaged(count, "кадр " + std::to_string(index) +
                                              " читается после поврежденного кадра " +
                                              std::to_string(keep));
                continue;
            }
            if (!readable) {
                keep = index;
                continue;
            }
            if (!std::isfinite(e.DateTime) || e.DateTime < previous)
                return damaged(count, "дата кадра " + std::to_string(index) +
                                          " неверна или раньше предыдущей");
            previous = e.DateTime;
        }
    }
    if (keep < 0) {
        if (named == count)
            return {RecordingVerdict::Kind::Sound, count, count, {}};
        keep = named;  // the count names entries beyond the end of the file
    }
    return {RecordingVerdict::Kind::TornTail, count, keep,
            "счетчик " + std::to_string(count) + " кадров, целы первые " + std::to_string(keep)};
}

std::string damagedFileName(const std::string &recording, double setAsideAt, int number) {
    const std::filesystem::path path(recording);
    const DateTimeFields f = decodeDateTime(setAsideAt);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d_%02d%02d%02d_damaged", f.year, f.month, f.day,
                  f.hour, f.minute, f.second);
    std::string name = path.stem().string() + stamp;
    if (number > 1)
        name += "_" + std::to_string(number);
    return (path.parent_path() / (name + path.extension().string())).string();
}

}  // namespace zv
