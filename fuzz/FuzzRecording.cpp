// A recording read the way the viewer, the export window and `zvf check` read it: the fuzzer's
// bytes laid out as a ZVF file in memory (FuzzSupport.h), then the count, the entries, every
// frame, the check, and range exports of the whole file into a target that must itself pass
// the check (or be refused with a message).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "FuzzSupport.h"
#include "container/ZVFCheck.h"
#include "container/ZVFformatUnit.h"
#include "platform/Error.h"

namespace {

// Entries past the index part that the input gives all read as zeros and take one path: the
// entries and frames read one by one are those the input gives and one behind.
int32_t entriesGiven(int32_t count, const uint8_t *data, size_t size) {
    const zvfuzz::RecordingLayout l = zvfuzz::layOut(data, size);
    const int64_t given = static_cast<int64_t>(l.indexSize) / zvf::kEntrySize + 1;
    return static_cast<int32_t>(std::min<int64_t>(count, given));
}

uint32_t inputHash(const uint8_t *data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

bool onlyDateTimeProblems(const zvf::CheckResult &result) {
    for (const std::string &line : result.lines)
        if (line.find("date-time") == std::string::npos)
            return false;
    return true;
}

// Exports the whole file and checks the target; a refusal must carry a message.
void exportWhole(TZVFFormat &zvf, zvtest::MemoryFileSystem &files, int32_t count, bool byTime) {
    files.remove("out.zvf");
    try {
        if (byTime)
            zvf.ExportVideoByTime("out.zvf", false, -HUGE_VAL, HUGE_VAL);
        else
            zvf.ExportVideo("out.zvf", count - 1, 0, false);
    } catch (const zv::Error &e) {
        FUZZ_CHECK(std::strlen(e.what()) > 0);
        return;
    }
    // Date-times are copied as they are: the target may only repeat the source's disorder.
    const zvf::CheckResult target = zvf::checkFile("out.zvf", SIZE_MAX, files);
    FUZZ_CHECK(onlyDateTimeProblems(target));
    TZVFFormat exported("out.zvf", files);
    FUZZ_CHECK(exported.FrameCount() > 0 && exported.FrameCount() <= count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    zvtest::MemoryFileSystem files;
    zvfuzz::putRecording(files, "rec.zvf", data, size);
    TZVFFormat zvf("rec.zvf", files);

    const int32_t count = zvf.FrameCount();
    FUZZ_CHECK(count >= 0 && count <= zvf::kCapacity);
    const int32_t given = entriesGiven(count, data, size);
    const std::vector<TZVFFrameEntry> entries = zvf.ReadFrameEntries(0, given);
    FUZZ_CHECK(entries.size() == static_cast<size_t>(given));  // the count is made safe
    FUZZ_CHECK(zvf.ReadFrameEntries(count - 1, 1).size() == (count > 0 ? 1u : 0u));
    TZVFFrameEntry slot;
    zvf.ReadFrameEntry(count, slot);  // the export window reads the slot behind the last

    // One image for every frame of every input, as the viewer keeps one: its buffers only grow,
    // so a large screen costs its page faults once, not on every input.
    static zv::GifImage image;
    for (int32_t i = 0; i < given; ++i) {
        const zv::Status loaded = zvf.TryLoadFrame(i, image);
        FUZZ_CHECK(loaded.ok() != image.empty());
        const bool readable = zvf::frameFault(entries[static_cast<size_t>(i)], zvf.FileSize()) ==
                              zvf::FrameFault::None;
        FUZZ_CHECK(readable || !loaded.ok());
    }

    // The check reads every entry up to the count. A count far beyond the entries the input
    // gives (up to 499,900 zero entries on one path) would slow the whole run a hundredfold, so
    // such files are checked on one input in 256, chosen by the input's bytes.
    if (count <= given || inputHash(data, size) % 256 == 0) {
        const zvf::CheckResult check = zvf::checkFile("rec.zvf", 16, files);
        FUZZ_CHECK(check.problems >= static_cast<int64_t>(check.lines.size()));
        FUZZ_CHECK(check.lines.size() <= 16);
    }
    if (count > 0) {
        exportWhole(zvf, files, count, false);
        exportWhole(zvf, files, count, true);
    }
    return 0;
}
