#include "container/ZVFCheck.h"

#include <fcntl.h>

#include <algorithm>
#include <cmath>

#include "container/ZVFCoding.h"
#include "container/ZVFConstants.h"
#include "platform/File.h"
#include "platform/Paths.h"

namespace zvf {

namespace {

// Entries are checked in blocks so that a full index (10 MB) is never held at once.
constexpr int32_t kBlockEntries = 65'536;

}  // namespace

CheckResult checkFile(const std::string &fileName, size_t maxProblems) {
    CheckResult result;
    auto problem = [&](std::string text) {
        if (result.lines.size() < maxProblems)
            result.lines.push_back(std::move(text));
        ++result.problems;
    };

    zv::UniqueFd fd = zv::openFile(zv::nativePath(fileName), O_RDONLY);
    const int64_t length = zv::fileLength(fd.get());
    uint8_t countBytes[kCountSize];
    if (zv::readAt(fd.get(), countBytes, sizeof countBytes, kCountPosition) < sizeof countBytes) {
        problem("file of " + std::to_string(length) + " bytes is shorter than the frame count");
        return result;
    }
    const int32_t count = decodeCount(countBytes);
    if (count < 0)
        problem("frame count " + std::to_string(count) + " is negative");
    if (count > kCapacity)
        problem("frame count " + std::to_string(count) + " is above the capacity " +
                std::to_string(kCapacity));
    const int32_t held = entriesHeld(length);
    int32_t n = std::clamp(count, 0, kCapacity);
    if (n > held) {
        problem("frame count " + std::to_string(count) + " but the file holds only " +
                std::to_string(held) + " entries");
        n = held;
    }

    std::vector<uint8_t> block(static_cast<size_t>(kBlockEntries) * kEntrySize);
    double previous = -INFINITY;
    for (int32_t first = 0; first < n; first += kBlockEntries) {
        const int32_t m = std::min(kBlockEntries, n - first);
        const size_t want = static_cast<size_t>(m) * kEntrySize;
        if (zv::readAt(fd.get(), block.data(), want, entryPosition(first)) < want) {
            problem("index ends early at entry " + std::to_string(first));
            break;
        }
        for (int32_t k = 0; k < m; ++k) {
            const TZVFFrameEntry e =
                decodeEntry(block.data() + static_cast<size_t>(k) * kEntrySize);
            const std::string name = "entry " + std::to_string(first + k) + ": ";
            if (e.Size <= 0)
                problem(name + "size " + std::to_string(e.Size) + " is not positive");
            if (e.Offset < 0)
                problem(name + "offset " + std::to_string(e.Offset) + " is negative");
            if (e.Size > 0 && e.Offset >= 0 &&
                (length - kDataBase < e.Size || e.Offset > length - kDataBase - e.Size))
                problem(name + "frame bytes " + std::to_string(e.Offset) + "+" +
                        std::to_string(e.Size) + " reach beyond the end of the file");
            if (!std::isfinite(e.DateTime)) {
                problem(name + "date-time is not a number");
                continue;
            }
            if (e.DateTime < previous)
                problem(name + "date-time is earlier than the previous one");
            previous = e.DateTime;
        }
    }
    return result;
}

}  // namespace zvf
