#include "container/ChangeFinder.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

#include "container/ZVFFrameReader.h"
#include "container/ZVFformatUnit.h"

namespace zvf {

namespace {

// Entries decided at a time: 1.3 MB of index, so a full index is never held at once.
constexpr int32_t kBlockEntries = 65'536;
// Frame bytes read at a time (unless one frame is larger): long sequential reads for the disk,
// few system calls, and two of them in memory.
constexpr int64_t kPieceBytes = 8 << 20;

bool sound(const TZVFFrameEntry &e, int64_t fileLength) {
    return frameFault(e, fileLength) == FrameFault::None;
}

// Sizes cannot tell these two apart: only their bytes can.
bool needsBytes(const TZVFFrameEntry &before, const TZVFFrameEntry &e, int64_t fileLength) {
    return before.Size == e.Size && sound(before, fileLength) && sound(e, fileLength);
}

bool adjacent(const TZVFFrameEntry &before, const TZVFFrameEntry &e) {
    return e.Offset == before.Offset + before.Size;
}

bool cancelled(const CancelFlag *cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

}  // namespace

// Compares frames of equal size with the frame before each, reading frames that lie back to
// back in one piece. Two buffers: the last frame of one piece is compared with the first of the
// next without being copied.
struct ChangeScanner::Pieces {
    std::vector<uint8_t> current, previous;

    // frames[0 .. count - 1], each of the size of before and sound, each after the one before it
    // (before first). Calls onChange(t) for each frames[t] whose bytes differ from those of its
    // predecessor (or that the file no longer holds whole); stops when it returns false. Returns
    // the frames examined.
    size_t compare(zv::RandomFile &file, const TZVFFrameEntry &before, const TZVFFrameEntry *frames,
                   size_t count, const CancelFlag *cancel,
                   const std::function<bool(size_t)> &onChange) {
        auto entryAt = [&](ptrdiff_t t) -> const TZVFFrameEntry & {
            return t < 0 ? before : frames[t];
        };
        const auto n = static_cast<ptrdiff_t>(count);
        size_t examined = 0;
        const uint8_t *previousBytes = nullptr;
        for (ptrdiff_t t = -1; t < n;) {
            if (cancelled(cancel))
                break;
            ptrdiff_t end = t + 1;
            int64_t bytes = entryAt(t).Size;
            while (end < n && adjacent(entryAt(end - 1), entryAt(end)) &&
                   bytes + entryAt(end).Size <= kPieceBytes)
                bytes += entryAt(end++).Size;
            if (current.size() < static_cast<size_t>(bytes))
                current.resize(static_cast<size_t>(bytes));
            const size_t got = file.readAt(current.data(), static_cast<size_t>(bytes),
                                           kDataBase + entryAt(t).Offset);
            size_t at = 0;
            for (ptrdiff_t v = t; v < end; ++v) {
                const auto size = static_cast<size_t>(entryAt(v).Size);
                // A file cut while it is read: what it no longer holds is damaged.
                const uint8_t *bytesOf = at + size <= got ? current.data() + at : nullptr;
                at += size;
                if (v >= 0) {
                    ++examined;
                    const bool differs = !bytesOf || !previousBytes ||
                                         std::memcmp(bytesOf, previousBytes, size) != 0;
                    if (differs && !onChange(static_cast<size_t>(v)))
                        return examined;
                }
                previousBytes = bytesOf;
            }
            std::swap(current, previous);  // previousBytes now points into previous
            t = end;
        }
        return examined;
    }
};

ChangeScanner::ChangeScanner(zv::RandomFile &file, int32_t first)
    : file_(file), next_(std::max(first, 0)), pieces_(std::make_unique<Pieces>()) {
    file_.adviseSequential();
}

ChangeScanner::~ChangeScanner() = default;

int32_t ChangeScanner::scan(int32_t last, std::vector<int32_t> &starts, bool stopAtFirst,
                            const CancelFlag *cancel) {
    const int32_t held = heldFrames(file_);
    const int32_t end = static_cast<int32_t>(std::min<int64_t>(int64_t{last} + 1, held));
    const int64_t length = file_.length();
    int32_t added = 0;
    while (next_ < end) {
        const int32_t wanted = std::min(kBlockEntries, end - next_);
        readEntries(file_, next_, wanted, entries_, raw_);
        if (entries_.empty())
            break;  // the file was cut meanwhile
        if (!decideBlock(entries_, next_, length, starts, stopAtFirst, cancel, added))
            break;
        if (static_cast<int32_t>(entries_.size()) < wanted)
            break;
    }
    return added;
}

bool ChangeScanner::decideBlock(const std::vector<TZVFFrameEntry> &block, int32_t blockFirst,
                                int64_t fileLength, std::vector<int32_t> &starts, bool stopAtFirst,
                                const CancelFlag *cancel, int32_t &added) {
    const size_t n = block.size();
    auto examined = [&](size_t k) {
        previous_ = block[k];
        havePrevious_ = true;
        next_ = blockFirst + static_cast<int32_t>(k) + 1;
    };
    size_t k = 0;
    while (k < n) {
        if (cancelled(cancel))
            return false;
        const TZVFFrameEntry &before = k > 0 ? block[k - 1] : previous_;
        const bool hasBefore = k > 0 || havePrevious_;
        if (!hasBefore || !needsBytes(before, block[k], fileLength)) {
            starts.push_back(blockFirst + static_cast<int32_t>(k));
            ++added;
            examined(k++);
            if (stopAtFirst)
                return false;
            continue;
        }
        // A run of frames each the size of the one before: their bytes decide.
        size_t end = k + 1;
        while (end < n && needsBytes(block[end - 1], block[end], fileLength))
            ++end;
        bool stop = false;
        const size_t done =
            pieces_->compare(file_, before, block.data() + k, end - k, cancel, [&](size_t t) {
                starts.push_back(blockFirst + static_cast<int32_t>(k + t));
                ++added;
                stop = stopAtFirst;
                return !stop;
            });
        if (done > 0)
            examined(k + done - 1);
        if (stop || done < end - k)
            return false;
        k = end;
    }
    return true;
}

int32_t heldFrames(zv::RandomFile &file) {
    const std::optional<int32_t> count = readCount(file);
    if (!count || *count <= 0)
        return 0;
    return std::min({*count, kCapacity, entriesHeld(file.length())});
}

std::vector<int32_t> findChanges(zv::RandomFile &file, int32_t first, int32_t last,
                                 const CancelFlag *cancel) {
    std::vector<int32_t> starts;
    if (first < 0 || last < first)
        return starts;
    ChangeScanner scanner(file, first);
    scanner.scan(last, starts, false, cancel);
    return starts;
}

std::optional<int32_t> nextChange(zv::RandomFile &file, int32_t from, const CancelFlag *cancel) {
    if (from < 0)
        return std::nullopt;
    ChangeScanner scanner(file, from);
    std::vector<int32_t> starts;
    constexpr int32_t kToTheEnd = std::numeric_limits<int32_t>::max() - 1;
    // The first scan finds from itself, which starts the range.
    if (scanner.scan(from, starts, true, cancel) == 0)
        return std::nullopt;
    starts.clear();
    if (scanner.scan(kToTheEnd, starts, true, cancel) == 0 || cancelled(cancel))
        return std::nullopt;
    return starts.front();
}

std::optional<int32_t> previousChange(zv::RandomFile &file, int32_t from,
                                      const CancelFlag *cancel) {
    if (from <= 0 || from >= heldFrames(file))
        return std::nullopt;
    int32_t window = 256;
    std::vector<int32_t> starts;
    for (int32_t end = from; end > 0;) {
        // Frames window before end, looked at from the frame before them, whose own forced start
        // does not count; frame 0 always starts something.
        const int32_t first = std::max(end - window, 0);
        ChangeScanner scanner(file, first > 0 ? first - 1 : 0);
        starts.clear();
        scanner.scan(end - 1, starts, false, cancel);
        if (cancelled(cancel))
            return std::nullopt;
        for (auto it = starts.rbegin(); it != starts.rend(); ++it)
            if (*it >= first)
                return *it;
        if (scanner.next() < end)
            return std::nullopt;  // the file was cut meanwhile
        end = first;
        window = std::min(window * 2, kBlockEntries);
    }
    return std::nullopt;
}

// ---- Activity from sizes ----------------------------------------------------------------------

void SizeActivity::clear() {
    changesBefore_.clear();
    last_ = {};
}

void SizeActivity::append(const TZVFFrameEntry *entries, size_t count) {
    changesBefore_.reserve(changesBefore_.size() + count);
    for (size_t i = 0; i < count; ++i) {
        const TZVFFrameEntry &e = entries[i];
        const bool active = !changesBefore_.empty() && e.Size != last_.Size;
        const int32_t before = changesBefore_.empty() ? 0 : changesBefore_.back();
        changesBefore_.push_back(before + (active ? 1 : 0));
        last_ = e;
    }
}

void SizeActivity::update(zv::RandomFile &file, int32_t frameCount) {
    std::vector<TZVFFrameEntry> block;
    std::vector<uint8_t> raw;
    while (frames() < frameCount) {
        const int32_t wanted = std::min(kBlockEntries, frameCount - frames());
        readEntries(file, frames(), wanted, block, raw);
        append(block.data(), block.size());
        if (static_cast<int32_t>(block.size()) < wanted)
            return;
    }
}

void SizeActivity::follow(const TZVFFormat &reader, int32_t frameCount) {
    if (frameCount <= 0 || frames() > frameCount) {
        clear();
    } else if (frames() > 0) {
        TZVFFrameEntry fed;
        reader.ReadFrameEntry(frames() - 1, fed);
        if (fed.Offset != last_.Offset || fed.Size != last_.Size)
            clear();
    }
    if (frames() < frameCount) {
        const std::vector<TZVFFrameEntry> fresh =
            reader.ReadFrameEntries(frames(), frameCount - frames());
        append(fresh.data(), fresh.size());
    }
}

int32_t SizeActivity::activeIn(int32_t first, int32_t last) const {
    first = std::max(first, 0);
    last = std::min(last, frames() - 1);
    if (last < first)
        return 0;
    const auto at = [this](int32_t i) { return changesBefore_[static_cast<size_t>(i)]; };
    return at(last) - (first > 0 ? at(first - 1) : 0);
}

std::vector<uint8_t> SizeActivity::columns(int width, int32_t first, int32_t last) const {
    std::vector<uint8_t> out(static_cast<size_t>(std::max(width, 0)), 0);
    first = std::max(first, 0);
    last = std::min(last, frames() - 1);
    if (last < first || width <= 0)
        return out;
    const int64_t n = int64_t{last} - first + 1;
    for (int c = 0; c < width; ++c) {
        const int64_t low = first + c * n / width;
        const int64_t high = std::max(first + (c + 1) * n / width, low + 1);
        out[static_cast<size_t>(c)] =
            activeIn(static_cast<int32_t>(low), static_cast<int32_t>(high - 1)) > 0;
    }
    return out;
}

}  // namespace zvf
