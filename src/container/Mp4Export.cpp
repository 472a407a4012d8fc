#include "container/Mp4Export.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "container/FrameCanvas.h"
#include "container/GifImage.h"
#include "container/PlaybackTiming.h"
#include "container/ZVFFrameReader.h"
#include "container/ZVFformatUnit.h"
#include "platform/DateTimeText.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/PartFile.h"
#include "platform/Paths.h"

namespace zv {

namespace {

std::string cannotOpen(const std::string &nativeFile, int err) {
    return systemErrorText("Не удается открыть файл \"" + nativeFile + "\"", err);
}

// The native name of the target file, refused before any work with the texts of the frame
// store's exports: a path that names no file here, a folder or anything else that is not a file.
std::string targetFile(const std::string &target) {
    const std::string native = nativeFilePath(target);
    if (native.empty())
        throw Error(cannotOpen(native, ENOENT));
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw Error("Не удается открыть файл \"" + native +
                    "\": " + notRegularFileReason(st.st_mode));
    return native;
}

class Mp4Export {
public:
    Mp4Export(TZVFFormat &zvf, const Mp4ExportOptions &options) : zvf_(zvf), options_(options) {}

    void run(const std::string &target, int32_t first, int32_t last) {
        zvf_.CheckExportTarget(target);
        const std::string native = targetFile(target);
        // A second export to the same target fails here; parts a killed export left go first.
        const TargetLock lock(native);
        removeStaleParts(native);
        PartFile part(native, 0666);
        const int32_t firstGood = firstReadable(first, last);
        if (firstGood > last)
            throw Error("Не удалось прочитать ни одного кадра экспорта (" + failures_.first() +
                        ")");

        FrameCanvas canvas(current_.width(), current_.height());
        Mp4Writer writer(part.openPath(), canvas.width(), canvas.height(), options_.encoding);
        PlaybackTiming timing(options_.speed, options_.maxGapSeconds * 1000.0);
        const int32_t end = encodeFrames(first, last, firstGood, canvas, writer, timing);
        writer.finish(timing.lastDuration(followingDateTime(end)));
        part.commit();

        if (end == last && failures_.count() > 0)
            throw Error(
                "Кадров, которые не удалось прочитать: " + std::to_string(failures_.count()) +
                " из " + std::to_string(int64_t{last} - first + 1) +
                "; в видео вместо них повторён предыдущий кадр (" + failures_.first() + ")");
    }

private:
    // The first frame from first on that decodes into current_ (last + 1 when none does); the
    // ones before it are failures.
    int32_t firstReadable(int32_t first, int32_t last) {
        for (int32_t i = first; i <= last; ++i) {
            const Status status = zvf_.TryLoadFrame(i, current_);
            if (status.ok())
                return i;
            failures_.note(i, status);
        }
        return last + 1;
    }

    // Encodes frames first .. last; returns the last one encoded, which is last unless the
    // export was cancelled (zvf.CancelExport) after it.
    int32_t encodeFrames(int32_t first, int32_t last, int32_t firstGood, FrameCanvas &canvas,
                         Mp4Writer &writer, PlaybackTiming &timing) {
        constexpr int32_t kBlock = 1'024;
        const int64_t total = int64_t{last} - first + 1;
        std::vector<TZVFFrameEntry> entries;
        progress(0, total);
        for (int32_t at = first; at <= last;) {
            const int32_t want = std::min(kBlock, last - at + 1);
            zvf_.ReadFrameEntries(at, want, entries);
            for (int32_t k = 0; k < want; ++k) {
                const int32_t i = at + k;
                // An entry the file no longer holds has no date-time; its frame fails below.
                const double dateTime = k < static_cast<int32_t>(entries.size())
                                            ? entries[static_cast<size_t>(k)].DateTime
                                            : std::numeric_limits<double>::quiet_NaN();
                paintFrame(i, firstGood, canvas);
                if (options_.timeStamp && std::isfinite(dateTime))
                    canvas.paintTimeStamp(dateTimeText(dateTime));
                writer.write(canvas.bits(), canvas.stride(), timing.next(dateTime));
                progress(i - int64_t{first} + 1, total);
                if (zvf_.CancelExport.load())
                    return i;
            }
            at += want;
        }
        return last;
    }

    // The picture of frame i: black before the first readable frame, then each frame that
    // decodes, or the last one that did.
    void paintFrame(int32_t i, int32_t firstGood, FrameCanvas &canvas) {
        if (i < firstGood) {
            canvas.paintBlack();
            return;
        }
        if (i > firstGood) {
            const Status status = zvf_.TryLoadFrame(i, next_);
            if (status.ok())
                std::swap(current_, next_);
            else
                failures_.note(i, status);
        }
        canvas.paintFrame(current_);
    }

    // The date-time of the frame after last in the recording, when it has one.
    std::optional<double> followingDateTime(int32_t last) const {
        if (last + int64_t{1} >= zvf_.FrameCount())
            return std::nullopt;
        const std::vector<TZVFFrameEntry> next = zvf_.ReadFrameEntries(last + 1, 1);
        if (next.empty())
            return std::nullopt;
        return next.front().DateTime;
    }

    void progress(int64_t done, int64_t total) const {
        if (zvf_.OnExportProgress)
            zvf_.OnExportProgress(done, total);
        if (zvf_.OnExportFrames)
            zvf_.OnExportFrames(done, total);
    }

    TZVFFormat &zvf_;
    const Mp4ExportOptions &options_;
    GifImage current_;  // the picture shown now
    GifImage next_;     // where the next frame is decoded
    zvf::FailedFrames failures_;
};

}  // namespace

void Mp4ExportOptions::check() const {
    if (!(speed >= 0.01 && speed <= 10'000.0))
        throw Error("Скорость воспроизведения должна быть от 0,01 до 10000");
    if (!(maxGapSeconds >= 0.001 && maxGapSeconds <= 86'400.0))
        throw Error("Наибольшая пауза должна быть от 0,001 до 86400 секунд");
}

void exportMp4(TZVFFormat &zvf, const std::string &target, int32_t first, int32_t last,
               const Mp4ExportOptions &options) {
    options.check();
    const auto [from, to] = zvf.ExportRange(first, last);
    Mp4Export(zvf, options).run(target, from, to);
}

void exportMp4ByTime(TZVFFormat &zvf, const std::string &target, double start, double end,
                     const Mp4ExportOptions &options) {
    options.check();
    const auto [from, to] = zvf.ExportRangeByTime(start, end);
    Mp4Export(zvf, options).run(target, from, to);
}

}  // namespace zv
