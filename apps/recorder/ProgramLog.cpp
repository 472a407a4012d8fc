#include "ProgramLog.h"

#include <sys/stat.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/DateTime.h"

namespace {

const char *levelName(zv::LogLevel level) {
    switch (level) {
        case zv::LogLevel::Info:
            return "INFO";
        case zv::LogLevel::Warning:
            return "WARNING";
        case zv::LogLevel::Error:
            return "ERROR";
    }
    return "INFO";
}

int priorityOf(zv::LogLevel level) {
    switch (level) {
        case zv::LogLevel::Info:
            return LOG_INFO;
        case zv::LogLevel::Warning:
            return LOG_WARNING;
        case zv::LogLevel::Error:
            return LOG_ERR;
    }
    return LOG_INFO;
}

// stderr already goes to the journal when the journal's stream names it (systemd sets
// JOURNAL_STREAM to "<device>:<inode>" of the stream it connected).
bool stderrIsJournal() {
    const char *stream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    if (!stream || ::fstat(STDERR_FILENO, &st) != 0)
        return false;
    unsigned long long device = 0, inode = 0;
    return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && device == st.st_dev &&
           inode == st.st_ino;
}

bool journalRuns() {
    return ::access("/run/systemd/journal/socket", W_OK) == 0;
}

}  // namespace

const zv::RecorderLog &recorderLog() {
    static const bool toJournal = journalRuns() && !stderrIsJournal();
    static const zv::RecorderLog log = [](zv::LogLevel level, const std::string &text) {
        const std::string time = zv::formatDateTimeIso(zv::nowDateTime());
        std::fprintf(stderr, "%s %s %s\n", time.c_str(), levelName(level), text.c_str());
        std::fflush(stderr);
        if (toJournal)
            sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priorityOf(level),
                            "SYSLOG_IDENTIFIER=ZORVideoService", nullptr);
    };
    return log;
}

void logLine(zv::LogLevel level, const std::string &text) {
    recorderLog()(level, text);
}
