// zvf index, run by zvf-text: reads the screen text of a recording into its text index.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "TextUsage.h"
#include "ZvfCommand.h"
#include "container/TesseractReader.h"
#include "container/TextIndexer.h"
#include "platform/Paths.h"

namespace {

std::atomic<bool> gStop{false};

extern "C" void stopIndexing(int) {
    gStop.store(true);
}

// SIGTERM (a service stopped) and SIGINT end the run after what was read is committed.
void stopOnSignals() {
    struct sigaction action {};
    action.sa_handler = stopIndexing;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// "\rкадров проиндексировано: N из M (P %)" on a terminal; nothing elsewhere (a log).
void showProgress(const zv::TextIndexProgress &p) {
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    if (!terminal)
        return;
    const int percent =
        p.heldFrames > 0 ? static_cast<int>(int64_t{p.indexedFrames} * 100 / p.heldFrames) : 100;
    std::fprintf(stderr, "\rкадров проиндексировано: %d из %d (%d %%), прочитано областей: %lld ",
                 p.indexedFrames, p.heldFrames, percent, static_cast<long long>(p.regionsRead));
    std::fflush(stderr);
}

int runIndex(const ZvfArgs &parsed) {
    expectPositional(parsed, 1, 1);
    zv::TextIndexerOptions options;
    options.follow = parsed.has("follow");
    if (parsed.has("threads"))
        options.threads =
            static_cast<int>(parseIntArg(parsed.options.at("threads"), "--threads", 1, 64));
    requireExistingFile(parsed.positional[0]);
    const std::string native = zv::nativeFilePath(parsed.positional[0]);
    zv::TextIndexer indexer(
        native, [] { return zv::makeTesseractReader(); }, options);
    indexer.setProgress(showProgress);
    indexer.setWarning([](const std::string &text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    stopOnSignals();
    const zv::TextIndexProgress done = indexer.run(gStop);
    if (::isatty(STDERR_FILENO) == 1)
        std::fputc('\n', stderr);
    std::printf("кадров проиндексировано: %d из %d\n", done.indexedFrames, done.heldFrames);
    if (done.failedFrames > 0)
        std::fprintf(stderr, "кадров, которые не удалось декодировать: %lld\n",
                     static_cast<long long>(done.failedFrames));
    return 0;
}

const bool kRegistered = [] {
    ZvfCommand command = indexCommandUsage();
    command.run = runIndex;
    registerZvfCommand(std::move(command));
    return true;
}();

}  // namespace
