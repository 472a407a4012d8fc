// The export commands: export, export-time, pictures, pictures-time, export-mp4,
// export-mp4-time. Each builds an export request and hands it to the one runner the export
// window calls.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "ZvfCommand.h"
#include "container/Mp4Export.h"
#include "container/ZVFformatUnit.h"
#include "export/ExportRequest.h"
#include "platform/DateTime.h"
#include "platform/Error.h"

namespace {

using Args = ZvfArgs;

int32_t indexArg(const std::string &text, const char *what) {
    return static_cast<int32_t>(parseIntArg(text, what, std::numeric_limits<int32_t>::min(),
                                            std::numeric_limits<int32_t>::max()));
}

double timeArg(const std::string &text, const char *what) {
    auto value = zv::parseDateTimeIso(text);
    if (!value)
        throw ZvfUsageError(std::string(what) +
                            ": ожидается \"ГГГГ-ММ-ДД чч:мм:сс[.ззз]\", а не \"" + text + "\"");
    return *value;
}

// The request of an export command: SRC, DST and an interval, frames FIRST LAST or, byTime,
// date-times START END. The source must exist (an export never creates it).
struct ParsedExport {
    std::string source;
    zv::ExportRequest request;
};

ParsedExport exportArgs(const Args &args, zv::ExportTarget target, bool byTime) {
    expectPositional(args, 4, 4);
    const std::vector<std::string> &a = args.positional;
    ParsedExport r{a[0], {}};
    r.request.target = target;
    r.request.path = a[1];
    if (byTime) {
        r.request.interval = zv::ExportInterval::Time;
        r.request.start = timeArg(a[2], "START");
        r.request.end = timeArg(a[3], "END");
    } else {
        r.request.interval = zv::ExportInterval::Frames;
        r.request.first = indexArg(a[2], "FIRST");
        r.request.last = indexArg(a[3], "LAST");
    }
    requireExistingFile(r.source);
    return r;
}

// One line on stderr, rewritten in place, when a person is watching; nothing in a pipe or a log.
class ProgressLine {
public:
    // bytes: the totals are bytes, shown in MB; otherwise frames.
    explicit ProgressLine(bool bytes) : bytes_(bytes), shown_(::isatty(2) == 1) {}
    ~ProgressLine() {
        if (shown_ && drawn_)
            std::fputc('\n', stderr);
    }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    void attach(TZVFFormat &zvf) {
        if (shown_)
            zvf.OnExportProgress = [this](int64_t done, int64_t total) { draw(done, total); };
    }

private:
    void draw(int64_t done, int64_t total) {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (drawn_ && percent == lastPercent_ && done != total)
            return;
        lastPercent_ = percent;
        drawn_ = true;
        if (bytes_)
            std::fprintf(stderr, "\r%3d%%  %lld / %lld MB", percent,
                         static_cast<long long>(done >> 20), static_cast<long long>(total >> 20));
        else
            std::fprintf(stderr, "\r%3d%%  %lld / %lld frames", percent,
                         static_cast<long long>(done), static_cast<long long>(total));
        std::fflush(stderr);
    }

    bool bytes_;
    bool shown_;
    bool drawn_ = false;
    int lastPercent_ = -1;
};

double numberArg(const std::string &text, const char *what) {
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size())
        throw ZvfUsageError(std::string(what) + ": ожидается число, а не \"" + text + "\"");
    return value;
}

// The MP4 options given, checked.
zv::Mp4ExportOptions mp4Options(const Args &args) {
    zv::Mp4ExportOptions options;
    options.timeStamp = !args.has("no-timestamp");
    if (args.has("speed"))
        options.speed = numberArg(args.options.at("speed"), "--speed");
    if (args.has("max-gap"))
        options.maxGapSeconds = numberArg(args.options.at("max-gap"), "--max-gap");
    try {
        options.check();
    } catch (const zv::Error &e) {
        throw ZvfUsageError(e.what());
    }
    return options;
}

// Every export command: the one runner the export window calls, with a progress line in bytes
// for a ZVF export and in frames otherwise.
int runExport(const ParsedExport &parsed) {
    TZVFFormat zvf(parsed.source);
    ProgressLine line(parsed.request.target == zv::ExportTarget::Video);
    line.attach(zvf);
    zv::runExportRequest(zvf, parsed.request);
    return 0;
}

// export-mp4 (FIRST LAST) and, byTime, export-mp4-time (START END).
int runExportMp4(const Args &args, bool byTime) {
    const zv::Mp4ExportOptions options = mp4Options(args);
    zv::showEncoderLog(args.has("verbose"));
    ParsedExport parsed = exportArgs(args, zv::ExportTarget::Mp4, byTime);
    parsed.request.mp4 = options;
    return runExport(parsed);
}

// export and, byTime, export-time.
int runVideoExport(const Args &args, bool byTime) {
    ParsedExport parsed = exportArgs(args, zv::ExportTarget::Video, byTime);
    parsed.request.compress = args.has("7z");
    return runExport(parsed);
}

// pictures and, byTime, pictures-time.
int runPictures(const Args &args, bool byTime) {
    return runExport(exportArgs(args, zv::ExportTarget::Pictures, byTime));
}

const ZvfOption kSevenZip{"7z", ""};

const ZvfRegistrar kExport(
    {"export",
     "zvf export SRC DST FIRST LAST [--7z]\n"
     "  копирует кадры FIRST..LAST (включительно, в любом порядке) из SRC в файл ZVF DST,\n"
     "  который переписывается на месте, если есть (от прежнего ничего не остаётся); --7z\n"
     "  ещё упаковывает DST в DST.7z (DST остаётся; архив, который не создать, - ошибка)",
     "кадры по номерам в новый файл ZVF",
     false,
     {kSevenZip},
     [](const Args &args) { return runVideoExport(args, false); }});

const ZvfRegistrar kExportTime(
    {"export-time",
     "zvf export-time SRC DST START END [--7z]\n"
     "  как export, для кадров, снятых строго после START и строго до END\n"
     "  (START, END: \"YYYY-MM-DD hh:mm:ss[.zzz]\", местное время); промежуток\n"
     "  между двумя соседними кадрами экспортирует оба",
     "промежуток времени в новый файл ZVF",
     false,
     {kSevenZip},
     [](const Args &args) { return runVideoExport(args, true); }});

const ZvfRegistrar kPictures(
    {"pictures",
     "zvf pictures SRC DIR FIRST LAST\n"
     "  декодирует кадры FIRST..LAST и пишет каждый как DIR/\"YYMMDD hhnnss.GIF\" (его\n"
     "  дата-время; следующие кадры той же секунды получают _2, _3, ...); DIR создаётся\n"
     "  с родительскими папками (DIR, которую не создать, - ошибка)",
     "кадры по номерам в картинки GIF",
     false,
     {},
     [](const Args &args) { return runPictures(args, false); }});

const ZvfRegistrar kPicturesTime(
    {"pictures-time",
     "zvf pictures-time SRC DIR START END\n"
     "  как pictures, для кадров, снятых строго после START и строго до END\n"
     "  (START, END: \"YYYY-MM-DD hh:mm:ss[.zzz]\")",
     "промежуток времени в картинки GIF",
     false,
     {},
     [](const Args &args) { return runPictures(args, true); }});

const std::vector<ZvfOption> kMp4OptionNames = {
    {"speed", "X"}, {"max-gap", "S"}, {"no-timestamp", ""}, {"verbose", ""}};
const char kMp4Options[] =
    "  --speed X         X секунд записи за секунду видео (по умолчанию 1; 0,01..10000)\n"
    "  --max-gap S       пауза длиннее S секунд показа урезается до S (по умолчанию 2)\n"
    "  --no-timestamp    без даты-времени в правом верхнем углу картинки\n"
    "  --verbose         собственный журнал FFmpeg (по-английски) в stderr, для поиска сбоев";

const ZvfRegistrar kExportMp4(
    {"export-mp4",
     std::string("zvf export-mp4 SRC DST FIRST LAST [--speed X] [--max-gap S] [--no-timestamp]\n"
                 "               [--verbose]\n"
                 "  кодирует кадры FIRST..LAST (включительно, в любом порядке) из SRC в видео\n"
                 "  MP4 DST (H.264), каждый кадр показан своё настоящее время; DST заменяется,\n"
                 "  если есть. Кадры, которые не прочитать, повторяют предыдущий, о них\n"
                 "  сообщается в конце (код 1, видео записано)\n") +
         kMp4Options,
     "кадры по номерам в видео MP4", true, kMp4OptionNames,
     [](const Args &args) { return runExportMp4(args, false); }});

const ZvfRegistrar kExportMp4Time(
    {"export-mp4-time",
     std::string("zvf export-mp4-time SRC DST START END [--speed X] [--max-gap S] "
                 "[--no-timestamp]\n"
                 "               [--verbose]\n"
                 "  как export-mp4, для кадров, снятых строго после START и строго\n"
                 "  до END (START, END: \"YYYY-MM-DD hh:mm:ss[.zzz]\")\n") +
         kMp4Options,
     "промежуток времени в видео MP4", true, kMp4OptionNames,
     [](const Args &args) { return runExportMp4(args, true); }});

}  // namespace
