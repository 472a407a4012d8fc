// The changes command: where the screen changed, from the recording itself.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ZvfCommand.h"
#include "container/ChangeFinder.h"
#include "container/ZVFConstants.h"
#include "container/ZVFFrameReader.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/Paths.h"

namespace {

// Lines are written by hand into a buffer: a recording whose every frame differs has 499,900 of
// them, and the C library's formatting would take many times longer than finding them.
class LineWriter {
public:
    ~LineWriter() { flush(); }
    void number(int64_t value, int width = 1) {
        char digits[24];
        int n = 0;
        const bool negative = value < 0;
        uint64_t v = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0 || n < width);
        if (negative)
            *at_++ = '-';
        while (n > 0)
            *at_++ = digits[--n];
    }
    void text(char c) { *at_++ = c; }
    // As zvf frames writes it (zv::formatDateTimeIso): YYYY-MM-DD hh:mm:ss.zzz. The date's text
    // is kept while the day stays; the time of day is split as zv::decodeDateTime splits it.
    void dateTime(double value) {
        constexpr int64_t kMsPerDay = 86'400'000;
        constexpr double kLastDay = 2'958'465;  // 9999-12-31
        const double whole = std::trunc(value);
        const int64_t ms = value >= 0 && whole <= kLastDay
                               ? std::llround((value - whole) * static_cast<double>(kMsPerDay))
                               : kMsPerDay;
        if (ms >= kMsPerDay) {  // the rare cases: the whole conversion
            const zv::DateTimeFields f = zv::decodeDateTime(value);
            date(f);
            time(((int64_t{f.hour} * 60 + f.minute) * 60 + f.second) * 1000 + f.msec);
            return;
        }
        if (whole != day_) {
            day_ = whole;
            char *line = at_;
            at_ = dayText_;
            date(zv::decodeDateTime(whole));
            at_ = line;
        }
        std::memcpy(at_, dayText_, kDateLength);
        at_ += kDateLength;
        time(ms);
    }
    // Seconds with milliseconds, from a span in days.
    void seconds(double days) {
        const double ms = std::round(days * 86'400'000.0);
        const auto whole = static_cast<int64_t>(std::clamp(ms, -9e15, 9e15));
        if (whole < 0)
            text('-');
        const uint64_t magnitude = whole < 0 ? 0 - static_cast<uint64_t>(whole) : whole;
        number(static_cast<int64_t>(magnitude / 1000));
        text('.');
        number(static_cast<int64_t>(magnitude % 1000), 3);
    }
    void endLine() {
        text('\n');
        if (at_ > buffer_ + sizeof buffer_ - kLongestLine)
            flush();
    }
    void flush() {
        std::fwrite(buffer_, 1, static_cast<size_t>(at_ - buffer_), stdout);
        at_ = buffer_;
    }

private:
    static constexpr size_t kDateLength = 11;  // "YYYY-MM-DD "
    static constexpr ptrdiff_t kLongestLine = 128;

    // Two digits of 0 .. 99.
    void pair(int64_t v) {
        static constexpr char kPairs[] =
            "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
            "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
            "8081828384858687888990919293949596979899";
        std::memcpy(at_, kPairs + 2 * v, 2);
        at_ += 2;
    }
    void date(const zv::DateTimeFields &f) {
        pair(f.year / 100);
        pair(f.year % 100);
        text('-');
        pair(f.month);
        text('-');
        pair(f.day);
        text(' ');
    }
    void time(int64_t ms) {
        pair(ms / 3'600'000);
        text(':');
        pair(ms / 60'000 % 60);
        text(':');
        pair(ms / 1000 % 60);
        text('.');
        text(static_cast<char>('0' + ms % 1000 / 100));
        pair(ms % 100);
    }

    char buffer_[1 << 20];
    char *at_ = buffer_;
    double day_ = -1;  // the day whose date dayText_ holds
    char dayText_[kDateLength + 8];
};

// Date-times of frames asked for in rising order, read through the frame reader a block at a
// time.
class EntryTimes {
public:
    explicit EntryTimes(zv::RandomFile &file) : file_(file) {}
    double of(int32_t index) {
        if (index < first_ || index >= first_ + static_cast<int32_t>(block_.size())) {
            first_ = index;
            zvf::readEntries(file_, index, kBlock, block_, raw_);
            if (block_.empty())
                throw zv::Error("Индекс кадров обрывается на кадре " + std::to_string(index));
        }
        return block_[static_cast<size_t>(index - first_)].DateTime;
    }

private:
    static constexpr int32_t kBlock = 4096;
    zv::RandomFile &file_;
    int32_t first_ = 0;
    std::vector<TZVFFrameEntry> block_;
    std::vector<uint8_t> raw_;
};

int runChanges(const ZvfArgs &parsed) {
    const std::vector<std::string> &args = parsed.positional;
    expectPositional(parsed, 1, 3);
    requireExistingFile(args[0]);
    std::unique_ptr<zv::RandomFile> file =
        zv::localFileSystem().open(zv::nativeFilePath(args[0]), zv::FileSystem::OpenMode::Read);
    const int32_t n = zvf::heldFrames(*file);
    const auto [first, last] = frameRangeOf(parsed, n);
    const std::vector<int32_t> starts = zvf::findChanges(*file, first, last);
    EntryTimes times(*file);
    auto out = std::make_unique<LineWriter>();  // a megabyte of buffer, not on the stack
    for (size_t k = 0; k < starts.size(); ++k) {
        const int32_t start = starts[k];
        const int32_t after = k + 1 < starts.size() ? starts[k + 1] : last + 1;
        // The screen stood until the frame after the run; the last run of the file until its
        // last frame.
        const int32_t until = after < n ? after : after - 1;
        const double startTime = times.of(start);
        out->number(start);
        out->text(' ');
        out->dateTime(startTime);
        out->text(' ');
        out->number(after - start);
        out->text(' ');
        out->seconds(times.of(until) - startTime);
        out->endLine();
    }
    return 0;
}

const ZvfRegistrar kChanges(
    {"changes",
     "zvf changes FILE [FIRST [LAST]]\n"
     "  строка на кадр, с которого на экране что-то новое (его байты не те, что у кадра\n"
     "  перед ним; первый кадр промежутка всегда): номер, дата-время и неподвижный\n"
     "  участок, который он начинает: кадров, секунд до кадра после него (до последнего\n"
     "  кадра в конце файла), через пробел; поврежденный кадр считается изменением;\n"
     "  LAST за последним кадром урезается до него",
     "кадры, где менялся экран",
     false,
     {},
     runChanges});

}  // namespace
