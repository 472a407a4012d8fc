#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "container/GifImage.h"
#include "container/ZVFConstants.h"
#include "platform/File.h"
#include "platform/Status.h"

// The frame store over one ZVF file: reads a recording's count, entries and frames, and exports
// ranges of it (RangeExport.cpp).
//
// The file is opened read-only and may be appended to by the recorder (or read by another
// instance) at the same time. Nothing is cached: the count and the entries are read from the file
// on every call, so a count read later may be larger than one read earlier. Only reusable scratch
// buffers are kept. Not thread-safe; all calls come from one thread.
class TZVFFormat {
public:
    // fileName is the name as the operator sees it (a drive path is mapped to the file system).
    // A missing file is created empty first. Throws zv::Error when the file cannot be created or
    // opened. Every file (the recording and export targets) is reached through files, which
    // must outlive the instance; tests and fuzzing hand in a MemoryFileSystem.
    explicit TZVFFormat(const std::string &fileName, zv::FileSystem &files = zv::localFileSystem());
    ~TZVFFormat();
    TZVFFormat(const TZVFFormat &) = delete;
    TZVFFormat &operator=(const TZVFFormat &) = delete;

    // The count at position 0, made safe for damaged files: a negative count (or a file shorter
    // than 4 bytes) gives 0; a count above 499,900, or above the entries the file physically
    // holds, is cut to what is there. Raises nothing.
    int32_t FrameCount() const;

    // Reads entry index field by field. Does not compare the index with the count (an index equal
    // to the count reads the next, not yet valid, slot). Fields that the file does not reach keep
    // their values. Raises nothing.
    void ReadFrameEntry(int32_t index, TZVFFrameEntry &entry) const;

    // Entries first .. first + count - 1 in a few large reads (no seek per entry), as far as the
    // index area and the file reach (fewer when the file ends or the range leaves the index area;
    // none for a negative first or count). Does not compare with FrameCount. Raises nothing.
    std::vector<TZVFFrameEntry> ReadFrameEntries(int32_t first, int32_t count) const;
    // The same into entries (replacing its content), reusing its storage: for callers that read
    // the index again and again (a full index is 12 MB in memory; a fresh one costs page faults).
    void ReadFrameEntries(int32_t first, int32_t count, std::vector<TZVFFrameEntry> &entries) const;

    // Current length of the file in bytes.
    int64_t FileSize() const;

    // Decodes frame index into a new image that the caller owns. Any failure (a read error, an
    // entry that names no readable frame (zvf::frameFault), bytes that are not a GIF) is shown
    // through the message hook as "Ошибка получения данных из файла видео:" + "\r" + the error's
    // message, and the image is returned empty; nothing is raised. Never allocates more than the
    // file holds.
    std::unique_ptr<zv::GifImage> LoadFrame(int32_t index);

    // The same into an image the caller keeps, reusing its buffers; false after a failure (the
    // message is shown the same way and the image is empty).
    bool LoadFrame(int32_t index, zv::GifImage &image);

    // LoadFrame with the failure as a value instead of a message: ok when the image holds the
    // frame; otherwise the reason (the operator's message is LoadFailureText of it) and an empty
    // image. Shows nothing, raises nothing, leaves the message hook alone: for a window that
    // decides itself whether and when the operator sees the failure (the viewer), for the
    // exports that count failed frames, and for tools that print it.
    zv::Status TryLoadFrame(int32_t index, zv::GifImage &image);

    // The first half of TryLoadFrame: the GIF bytes of frame index into bytes (reusing its
    // storage), for a caller that decodes them elsewhere (the viewer decodes ahead on a worker
    // thread). Ok when bytes holds the frame; otherwise the reason and empty bytes. Shows
    // nothing, raises nothing.
    zv::Status ReadFrameBytes(int32_t index, std::vector<uint8_t> &bytes) const;

    // The operator's text of a frame that cannot be shown: "Ошибка получения данных из файла
    // видео:", a carriage return (the message box's line break; a terminal wants '\n') and the
    // reason.
    static std::string LoadFailureText(const std::string &reason, char lineBreak = '\r');

    // Range export. Indices are inclusive bounds in either order; times are date-times of the
    // format, and a frame whose date-time equals start or end lies outside the interval (an
    // interval between two neighbouring frames gives both). Errors are zv::Error with the
    // operator's text: "Недопустимые границы экспорта" for indices outside 0 .. FrameCount() - 1
    // (every range on a file of no frames), "Неверно указан временной интервал экспорта" when no
    // frame is later than start or none earlier than end; file-system and archive errors pass
    // through as raised.

    // Decodes frames first .. last and writes each as a GIF file "YYMMDD hhnnss.GIF" (the
    // frame's date-time) in folder, which is created with its parents; returns silently when it
    // cannot be. Frames of one second in one export get "_2", "_3", … before ".GIF". A frame
    // that cannot be read (zvf::frameFault) or decoded writes no picture and the export goes on;
    // afterwards one zv::Error names how many failed and the first failure. A failed write stops
    // the export. Each picture is written whole through a part file and renamed over its name
    // (zv::writeWholeFile: a file or link of that name is replaced, never written through); a
    // name that leads to the source recording stops the export with "Файл экспорта совпадает с
    // исходным файлом видео: \"<name>\"".
    void ExportPictures(const std::string &folder, int32_t first, int32_t last);
    void ExportPicturesByTime(const std::string &folder, double start, double end);

    // The rules above for exports written outside the frame store (the MP4 export,
    // Mp4Export.h): the index range first .. last in order, refused as ExportVideo refuses it;
    // the index range of a time interval, found and refused as ExportVideoByTime does (in order,
    // so an interval between two frames gives both); and a target that names the open recording
    // under any name, refused with "Файл экспорта совпадает с исходным файлом видео".
    std::pair<int32_t, int32_t> ExportRange(int32_t first, int32_t last) const;
    std::pair<int32_t, int32_t> ExportRangeByTime(double start, double end) const;
    void CheckExportTarget(const std::string &target) const;

    // Copies entries and frame bytes first .. last raw into target, packed from offset 0, and
    // with compress packs the finished target into target + ".7z" beside it (the target stays;
    // the archive is written to a part file and renamed into place when complete, so an older
    // archive stays as it was and no broken one is left; one that cannot be made throws "Не
    // удалось создать архив \"<name>\": <reason>"). An existing target is written over in place
    // and keeps nothing of its older self. Refused before the target is touched: the source file
    // itself under any name as the target or its archive; a target another export is writing
    // (its name held by zv::TargetLock, or the file locked under another name): "Файл \"<name>\"
    // уже записывается другим экспортом"; an entry the check would refuse in the target (a frame
    // that is not readable, zvf::frameFault; a date-time that is not finite or falls below the
    // one before, zvf::dateFault). The count is written last (0, on the disk, before any entry;
    // the real one after the frames are on the disk, and synced itself), so a target left by a
    // failure or a power loss never claims a frame it does not hold; a cancelled export
    // (CancelExport) counts the frames it has copied. A target whose name no longer leads to it
    // at the end (its folder removed or renamed) fails the export.
    void ExportVideo(const std::string &target, int32_t first, int32_t last, bool compress);
    void ExportVideoByTime(const std::string &target, bool compress, double start, double end);

    // Progress of an export, each called with the work done and its total; each may be empty,
    // and an exception one throws stops the export as a failure.
    // Bytes of frames for a ZVF export, frames for pictures.
    std::function<void(int64_t done, int64_t total)> OnExportProgress;
    // Frames of the range in place: for a ZVF export after each piece of the copy (pieces end on
    // frame boundaries and hold at most 8 MiB unless one frame is larger), for pictures after
    // each frame.
    std::function<void(int64_t done, int64_t total)> OnExportFrames;
    // Bytes of the 7z step packed so far, of the file's size. Called on the thread that 7-Zip's
    // library reports on (usually the export's), so it must be thread-safe.
    std::function<void(int64_t done, int64_t total)> OnArchiveProgress;

    // Set from any thread to stop a running export at the next frame boundary it reaches: a ZVF
    // export then writes the count of the frames it has put in place and makes no archive; a
    // picture export keeps the pictures saved so far; the 7z step stops at its next progress
    // report and removes its archive (the finished ZVF file stays). A stopped export returns
    // normally. The export never clears the flag; its owner does, before the next export.
    std::atomic<bool> CancelExport{false};

    // The name given to the constructor; kept, not used again.
    const std::string FileName;

private:
    // The index range of a time interval, in the order found (first may exceed last).
    std::pair<int32_t, int32_t> exportRangeOfTimes(double start, double end) const;
    // The 7z step of ExportVideo: packs the finished target into target + ".7z".
    void archiveExport(const std::string &target);
    // Refuses a native output name that leads to the recording (by device and inode).
    void refuseSource(const std::string &native) const;

    zv::FileSystem &files_;
    std::unique_ptr<zv::RandomFile> Stream;
    std::vector<uint8_t> frameBytes_;  // reused between LoadFrame calls
    // One block of raw index bytes, reused between ReadFrameEntries calls.
    mutable std::vector<uint8_t> indexBytes_;
};
