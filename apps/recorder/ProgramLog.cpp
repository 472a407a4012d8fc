#include "ProgramLog.h"

#include <fcntl.h>
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

// The log file beside cnf.INI, used where no journal runs: a recorder started from the settings
// window has no terminal, and its stderr goes nowhere.
class LogFile {
public:
    void setPath(std::string path) { path_ = std::move(path); }
    void write(const std::string &line) {
        if (path_.empty())
            return;
        struct stat st {};
        if (::stat(path_.c_str(), &st) == 0 &&
            st.st_size + static_cast<off_t>(line.size()) > kMaxLogBytes)
            ::rename(path_.c_str(), (path_ + ".1").c_str());  // one older generation is kept
        // O_NOFOLLOW: the folder may be writable by others; no link of theirs is followed.
        const int fd =
            ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        const ssize_t written = ::write(fd, line.data(), line.size());
        (void)written;  // a log that cannot be written has nobody to tell
        ::close(fd);
    }

private:
    std::string path_;
};

LogFile &logFile() {
    static LogFile file;
    return file;
}

const bool toJournal = journalRuns() && !stderrIsJournal();

}  // namespace

void keepLogBeside(const std::string &nativeConfig) {
    if (journalRuns())
        return;
    const size_t slash = nativeConfig.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : nativeConfig.substr(0, slash);
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        logFile().setPath(folder + "/" + kLogFileName);
}

const zv::RecorderLog &recorderLog() {
    static const zv::RecorderLog log = [](zv::LogLevel level, const std::string &text) {
        const std::string time = zv::formatDateTimeIso(zv::nowDateTime());
        const std::string line = time + " " + levelName(level) + " " + text + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        if (toJournal)
            sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priorityOf(level),
                            "SYSLOG_IDENTIFIER=ZORVideoService", nullptr);
        logFile().write(line);
    };
    return log;
}

void logLine(zv::LogLevel level, const std::string &text) {
    recorderLog()(level, text);
}
