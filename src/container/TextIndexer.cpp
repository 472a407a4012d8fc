#include "container/TextIndexer.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <thread>

#include "container/ChangeFinder.h"
#include "container/TextReadingPool.h"
#include "platform/Error.h"

namespace zv {

int defaultTextThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 2 ? static_cast<int>(cores) - 1 : 1;
}

namespace {

using Clock = std::chrono::steady_clock;

// Frames examined by one scan of the change scanner, so that a long still stretch still lets
// cancel and commits through.
constexpr int32_t kScanPiece = 4096;

bool meets(const TextBox &a, const TextBox &b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

bool inside(const TextBox &inner, const TextBox &outer) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

TextBox unite(const TextBox &a, const TextBox &b) {
    const int x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return {x, y, std::max(a.x + a.width, b.x + b.width) - x,
            std::max(a.y + a.height, b.y + b.height) - y};
}

// The search form without blanks: what must be found again for a line to stand on.
std::string compact(const std::string &text) {
    std::string form = searchForm(text);
    form.erase(std::remove(form.begin(), form.end(), ' '), form.end());
    return form;
}

struct Standing {
    StandingLine line;
    std::string compact;
};

// Whether one of lines that meets box holds text.
bool foundAt(const std::vector<TextLine> &lines, const TextBox &box, const std::string &text) {
    for (const TextLine &l : lines)
        if (meets(l.box, box) && compact(l.text).find(text) != std::string::npos)
            return true;
    return false;
}

}  // namespace

struct TextIndexer::Run {
    Run(TextIndexer &owner, const std::atomic<bool> &cancel) : owner(owner), cancel(cancel) {}

    TextIndexer &owner;
    const std::atomic<bool> &cancel;
    std::unique_ptr<RandomFile> file;
    std::unique_ptr<TextIndexWriter> writer;
    std::unique_ptr<zvf::ChangeScanner> scanner;
    std::unique_ptr<TextReadingPool> pool;
    std::unique_ptr<TextReader> ownReader;  // for reading a line's place again
    std::vector<Standing> standing;
    std::deque<int32_t> pending;  // change starts handed to the pool, not yet stored
    int32_t scannedTo = 0;        // frames below it are examined by the scanner
    int64_t failed = 0;           // frames of the index that could not be decoded
    RecordingMark committed;      // what the index holds as committed
    TextIndexProgress progress;
    Clock::time_point lastCommit = Clock::now();

    void open();
    void startOver();
    bool replaced();
    void indexHeld();
    void store(FrameReading reading);
    void storeNewLines(const FrameReading &reading, std::vector<Standing> &touched,
                       std::vector<Standing> &leaving, std::vector<Standing> &kept);
    bool stillStands(const Standing &s, FrameReading &reading);
    void commit(bool force);
    int32_t indexedNow() const { return pending.empty() ? scannedTo : pending.front(); }
};

void TextIndexer::Run::open() {
    if (!file)
        file = localFileSystem().open(owner.recording_, FileSystem::OpenMode::Read);
    if (!writer)
        writer = std::make_unique<TextIndexWriter>(owner.recording_, *file, owner.warning_);
    standing.clear();
    for (StandingLine &l : writer->standingLines()) {
        std::string c = compact(l.text);
        standing.push_back({std::move(l), std::move(c)});
    }
    scannedTo = writer->indexedFrames();
    scanner = std::make_unique<zvf::ChangeScanner>(*file, scannedTo);
    // The threads read the very file opened here, whatever the path names later.
    const int fd = file->descriptor();
    pool.reset();
    pool = std::make_unique<TextReadingPool>(
        fd >= 0 ? "/proc/self/fd/" + std::to_string(fd) : owner.recording_, owner.factory_,
        owner.options_.threads > 0 ? owner.options_.threads : defaultTextThreads(),
        owner.options_.lowPriority, owner.options_.bands);
    failed = writer->failedFrames();
    committed = markRecording(*file, scannedTo);
    progress.indexedFrames = scannedTo;
    progress.failedFrames = failed;
}

namespace {

// Where the open file indexed now lies, when it was renamed (the recorder renames a recording that
// is full and starts a new one under its name); empty when that is unknown or it was deleted.
std::string renamedTo(RandomFile &file, const std::string &path) {
    if (file.descriptor() < 0)
        return {};
    std::error_code error;
    const std::filesystem::path target =
        std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(file.descriptor()), error);
    if (error || target.string().ends_with(" (deleted)") ||
        localFileSystem().idOf(path) == file.id() ||
        localFileSystem().idOf(target.string()) != file.id())
        return {};
    return target.string();
}

}  // namespace

void TextIndexer::Run::startOver() {
    pool.reset();
    pending.clear();
    std::unique_ptr<RandomFile> indexed = std::move(file);
    file = localFileSystem().open(owner.recording_, FileSystem::OpenMode::Read);
    // A copy of the same recording put in its place goes on where the index stands.
    if (!recordingMatches(*file, committed))
        writer->startOver(*file, renamedTo(*indexed, owner.recording_));
    open();
}

// Whether the path now names another recording than the one indexed, or the file was cut or
// rewritten below what was indexed.
bool TextIndexer::Run::replaced() {
    const std::optional<FileId> named = localFileSystem().idOf(owner.recording_);
    if (named && *named != file->id())
        return true;
    return !recordingMatches(*file, committed);
}

void TextIndexer::Run::indexHeld() {
    const int threads = owner.options_.threads > 0 ? owner.options_.threads : defaultTextThreads();
    // Each start in flight may hold a decoded frame: a few per thread keep the threads busy.
    const auto inFlight = static_cast<size_t>(2 * threads + 1);
    std::vector<int32_t> starts;
    for (;;) {
        const int32_t held = zvf::heldFrames(*file);
        progress.heldFrames = held;
        if (pending.size() < inFlight && scanner->next() < held && !cancel) {
            starts.clear();
            scanner->scan(std::min(held - 1, scanner->next() + kScanPiece - 1), starts, true,
                          &cancel);
            for (int32_t s : starts) {
                pool->add(s);
                pending.push_back(s);
            }
            scannedTo = scanner->next();
            if (pending.empty())
                commit(false);
            continue;
        }
        if (pending.empty() || cancel)
            break;
        std::optional<FrameReading> reading = pool->take(pending.front(), cancel);
        if (!reading)
            break;
        store(std::move(*reading));
        pending.pop_front();
        commit(false);
    }
    // Cancelled: the starts handed out but not stored are read again by the next run.
    if (!pending.empty())
        scannedTo = pending.front();
    pending.clear();
    commit(true);
}

bool TextIndexer::Run::stillStands(const Standing &s, FrameReading &reading) {
    if (foundAt(reading.lines, s.line.box, s.compact))
        return true;
    TextBox place = s.line.box;
    bool covered = false;
    for (const TextBox &r : reading.regions) {
        if (!meets(r, s.line.box))
            continue;
        covered = covered || inside(s.line.box, r);
        place = unite(place, r);
    }
    if (covered)
        return false;
    // Part of the line's box stayed as it was, so the regions showed only part of it: its place
    // is read again, whole.
    if (!ownReader)
        ownReader = owner.factory_();
    const FramePixels pixels{reading.picture.pixels(), reading.picture.width(),
                             reading.picture.height()};
    ++progress.regionsRead;
    std::vector<TextLine> whole = ownReader->read(pixels, place);
    if (foundAt(whole, s.line.box, s.compact))
        return true;
    // What stands there now is read whole too: it replaces the parts of it the regions gave.
    std::erase_if(reading.lines, [&](const TextLine &part) {
        const std::string c = compact(part.text);
        return std::any_of(whole.begin(), whole.end(), [&](const TextLine &w) {
            return meets(w.box, part.box) && compact(w.text).find(c) != std::string::npos;
        });
    });
    for (TextLine &w : whole)
        reading.lines.push_back(std::move(w));
    return false;
}

void TextIndexer::Run::store(FrameReading reading) {
    if (!reading.error.empty())
        throw Error(reading.error);
    writer->begin();
    ++progress.changeStarts;
    if (reading.failed) {
        ++failed;
        return;
    }
    progress.regionsRead += reading.bandsRead;
    std::vector<Standing> kept, touched, leaving;
    for (Standing &s : standing) {
        bool touches = false;
        for (const TextBox &r : reading.regions)
            touches = touches || meets(r, s.line.box);
        if (!touches)
            kept.push_back(std::move(s));
        else if (stillStands(s, reading))
            touched.push_back(std::move(s));
        else
            leaving.push_back(std::move(s));
    }
    storeNewLines(reading, touched, leaving, kept);
    for (const Standing &s : leaving)
        writer->setLeft(s.line.id, reading.frame);
    for (Standing &s : touched)
        kept.push_back(std::move(s));
    standing = std::move(kept);
}

void TextIndexer::Run::storeNewLines(const FrameReading &reading, std::vector<Standing> &touched,
                                     std::vector<Standing> &leaving, std::vector<Standing> &kept) {
    for (const TextLine &line : reading.lines) {
        std::string c = compact(line.text);
        if (c.empty())
            continue;
        // The line still standing, or a part of it that a region cut out, is no new line.
        if (std::any_of(touched.begin(), touched.end(), [&](const Standing &s) {
                return meets(s.line.box, line.box) && s.compact.find(c) != std::string::npos;
            }))
            continue;
        // A line that left its place while its text came elsewhere has moved (a list scrolled).
        const auto moved = std::find_if(leaving.begin(), leaving.end(),
                                        [&](const Standing &s) { return s.compact == c; });
        if (moved != leaving.end()) {
            writer->moveLine(moved->line.id, line.box);
            moved->line.box = line.box;
            touched.push_back(std::move(*moved));
            leaving.erase(moved);
            continue;
        }
        StandingLine added{writer->addLine(reading.frame, line), reading.frame, line.box,
                           line.text};
        kept.push_back({std::move(added), std::move(c)});
    }
}

void TextIndexer::Run::commit(bool force) {
    const auto now = Clock::now();
    if (!force && now - lastCommit < std::chrono::milliseconds(owner.options_.commitMs))
        return;
    const int32_t indexed = indexedNow();
    if (indexed != writer->indexedFrames() || failed != writer->failedFrames()) {
        writer->begin();
        committed = markRecording(*file, indexed);
        writer->setIndexed(committed, failed);
    }
    writer->commit();
    lastCommit = now;
    progress.indexedFrames = writer->indexedFrames();
    progress.failedFrames = writer->failedFrames();
    if (owner.progress_)
        owner.progress_(progress);
}

TextIndexer::TextIndexer(std::string nativeRecording, TextReaderFactory factory,
                         TextIndexerOptions options)
    : recording_(std::move(nativeRecording)), factory_(std::move(factory)), options_(options) {}

TextIndexer::~TextIndexer() = default;

void TextIndexer::setProgress(std::function<void(const TextIndexProgress &)> progress) {
    progress_ = std::move(progress);
}

void TextIndexer::setWarning(std::function<void(const std::string &)> warning) {
    warning_ = std::move(warning);
}

TextIndexProgress TextIndexer::run(const std::atomic<bool> &cancel) {
    if (options_.lowPriority)
        lowerThreadPriority();
    Run r(*this, cancel);
    r.open();
    for (;;) {
        r.indexHeld();
        if (!options_.follow || cancel)
            break;
        const auto until = Clock::now() + std::chrono::milliseconds(options_.pollMs);
        while (!cancel && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!cancel && r.replaced())
            r.startOver();
    }
    return r.progress;
}

}  // namespace zv
