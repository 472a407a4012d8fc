// The runs of the export commands (their texts: ExportUsage.cpp), in the program zvf hands
// them to. Each builds an export request and hands it to the one runner the export window calls.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "ExportUsage.h"
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

// Each command as zvf describes it, with its run.
const bool kRegistered = [] {
    const std::map<std::string, std::function<int(const Args &)>> runs = {
        {"export", [](const Args &args) { return runVideoExport(args, false); }},
        {"export-time", [](const Args &args) { return runVideoExport(args, true); }},
        {"pictures", [](const Args &args) { return runPictures(args, false); }},
        {"pictures-time", [](const Args &args) { return runPictures(args, true); }},
        {"export-mp4", [](const Args &args) { return runExportMp4(args, false); }},
        {"export-mp4-time", [](const Args &args) { return runExportMp4(args, true); }},
    };
    for (ZvfCommand command : exportCommandUsages()) {
        command.run = runs.at(command.name);
        registerZvfCommand(std::move(command));
    }
    return true;
}();

}  // namespace
