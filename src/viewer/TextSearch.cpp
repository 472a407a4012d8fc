#include "viewer/TextSearch.h"

#include <QCoreApplication>
#include <QSignalBlocker>
#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <mutex>
#include <utility>

#include "container/TesseractReader.h"
#include "container/ZVFformatUnit.h"
#include "platform/DateTimeText.h"
#include "platform/Error.h"
#include "platform/File.h"

namespace zv {

namespace {

using Mode = TextIndexStatus::Mode;
using Post = std::function<void(const TextIndexStatus &)>;

// "кадра" after "из 1", "из 21"; "кадров" otherwise.
QString ofFrames(int32_t n) {
    const bool one = n % 10 == 1 && n % 100 != 11;
    return QString::number(n) + (one ? QStringLiteral(" кадра") : QStringLiteral(" кадров"));
}

QString indexedText(const TextIndexCoverage &c) {
    return QStringLiteral("Проиндексировано ") + QString::number(c.indexedFrames) +
           QStringLiteral(" из ") + ofFrames(c.heldFrames);
}

// What the index itself offers, without who keeps it up.
QString coverageText(const TextIndexCoverage &c) {
    switch (c.state) {
        case TextIndexState::Missing:
            return QStringLiteral("Индекса текста нет");
        case TextIndexState::Unusable:
            return QStringLiteral("Индекс текста нельзя использовать: ") +
                   QString::fromStdString(c.problem);
        case TextIndexState::Partial:
        case TextIndexState::Complete:
            break;
    }
    return indexedText(c);
}

// Waits ms unless cancel comes first; false when it came.
bool pause(const std::atomic<bool> &cancel, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cancel) {
        if (std::chrono::steady_clock::now() >= until)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Another process holds the writer's lock of the index. Probing takes the lock for an instant
// when nobody holds it.
bool indexHeldElsewhere(const std::string &file) {
    try {
        std::unique_ptr<RandomFile> index =
            localFileSystem().open(textIndexPath(file), FileSystem::OpenMode::Read);
        return !index->tryLock();
    } catch (const std::exception &) {
        return false;  // no index file: nobody writes it
    }
}

// A reader that reads nothing once the run is cancelled: the regions of a frame not yet read
// are given up at once (the indexer stores nothing of a frame after the cancel, and the next run
// reads it again); a read under way gives up when the indexer's readers are stopped
// (TextReadingPool), so that closing the window waits for one line of a region at most.
class CancellableReader : public TextReader {
public:
    CancellableReader(std::unique_ptr<TextReader> reader, const std::atomic<bool> &cancel)
        : reader_(std::move(reader)), cancel_(cancel) {}
    std::vector<TextLine> read(const FramePixels &frame, const TextBox &region) override {
        if (cancel_)
            throw Error("Чтение текста прервано");
        return reader_->read(frame, region);
    }
    void setCancel(const std::atomic<bool> *cancel) override { reader_->setCancel(cancel); }

private:
    std::unique_ptr<TextReader> reader_;
    const std::atomic<bool> &cancel_;
};

TextReaderFactory cancellable(TextReaderFactory factory, const std::atomic<bool> &cancel) {
    return [factory = std::move(factory), &cancel]() -> std::unique_ptr<TextReader> {
        if (cancel)
            throw Error("Чтение текста прервано");
        return std::make_unique<CancellableReader>(factory(), cancel);
    };
}

// Why no reader can be made here (engine or language data missing), empty when one can.
QString readerProblem(const TextReaderFactory &factory) {
    try {
        if (factory && factory())
            return {};
        return QStringLiteral("нет средства чтения текста");
    } catch (const std::exception &e) {
        return QString::fromStdString(e.what());
    }
}

// The background of one open recording: indexes it (following) while it may, otherwise
// watches how far the index reaches.
class BackgroundRun {
public:
    BackgroundRun(std::string file, TextReaderFactory factory, TextIndexerOptions options,
                  int watchMs, const std::atomic<bool> &cancel, Post post)
        : file_(std::move(file)),
          factory_(cancellable(std::move(factory), cancel)),
          options_(options),
          watchMs_(watchMs),
          cancel_(cancel),
          post_(std::move(post)) {}

    void run() {
        status_.mode = Mode::Starting;
        look();
        QString problem = readerProblem(factory_);
        Mode stopped = Mode::CannotRead;
        while (!cancel_) {
            if (problem.isEmpty() && !indexHeldElsewhere(file_)) {
                index(problem, stopped);
                if (cancel_)
                    return;
            }
            status_.mode = problem.isEmpty() ? Mode::Elsewhere : stopped;
            status_.reason = problem;
            watch();
        }
    }

private:
    // Indexes until cancelled; on an error sets why (unless another process took the index).
    void index(QString &problem, Mode &stopped) {
        status_.mode = Mode::Indexing;
        status_.reason.clear();
        post_(status_);
        try {
            TextIndexer indexer(file_, factory_, options_);
            indexer.setProgress([this](const TextIndexProgress &p) {
                status_.coverage.indexedFrames = p.indexedFrames;
                status_.coverage.heldFrames = p.heldFrames;
                status_.coverage.state = p.indexedFrames < p.heldFrames ? TextIndexState::Partial
                                                                        : TextIndexState::Complete;
                post_(status_);
            });
            indexer.setWarning(
                [this](const std::string &w) { status_.reason = QString::fromStdString(w); });
            indexer.run(cancel_);
        } catch (const std::exception &e) {
            if (cancel_ || indexHeldElsewhere(file_))
                return;
            problem = QString::fromStdString(e.what());
            stopped = Mode::Failed;
        }
    }

    // Looks at the index every watchMs_ until cancelled, or until an index written elsewhere
    // is let go (this viewer then takes it over).
    void watch() {
        for (;;) {
            look();
            if (!pause(cancel_, watchMs_))
                return;
            if (status_.mode == Mode::Elsewhere && !indexHeldElsewhere(file_))
                return;
        }
    }

    void look() {
        try {
            std::unique_ptr<RandomFile> recording =
                localFileSystem().open(file_, FileSystem::OpenMode::Read);
            if (!index_)
                index_ = std::make_unique<TextIndex>(file_, *recording);
            else
                index_->refresh(*recording);
            status_.coverage = index_->coverage();
        } catch (const std::exception &e) {
            status_.coverage = {};
            status_.coverage.state = TextIndexState::Unusable;
            status_.coverage.problem = e.what();
        }
        post_(status_);
    }

    std::string file_;
    TextReaderFactory factory_;
    TextIndexerOptions options_;
    int watchMs_;
    const std::atomic<bool> &cancel_;
    Post post_;
    TextIndexStatus status_;
    std::unique_ptr<TextIndex> index_;
};

struct SearchAnswer {
    std::vector<TextHitRow> hits;
    bool capped = false;
    QString failure;
    int32_t indexedFrames = 0;
};

SearchAnswer runSearch(const std::string &file, const std::string &query,
                       const std::atomic<bool> &cancel) {
    SearchAnswer answer;
    try {
        std::unique_ptr<RandomFile> recording =
            localFileSystem().open(file, FileSystem::OpenMode::Read);
        TextIndex index(file, *recording);
        answer.indexedFrames = index.coverage().indexedFrames;
        std::vector<TextHit> hits = index.search(query, TextSearch::kMaxHits + 1, &cancel);
        answer.capped = hits.size() > TextSearch::kMaxHits;
        hits.resize(std::min(hits.size(), TextSearch::kMaxHits));
        TZVFFormat reader(file);
        const int32_t count = reader.FrameCount();
        for (TextHit &hit : hits) {
            TextHitRow row;
            if (hit.firstFrame < count) {
                TZVFFrameEntry entry;
                reader.ReadFrameEntry(hit.firstFrame, entry);
                row.dateTime = entry.DateTime;
                row.timed = true;
            }
            row.hit = std::move(hit);
            answer.hits.push_back(std::move(row));
        }
    } catch (const std::exception &e) {
        answer.hits.clear();
        answer.failure = QString::fromStdString(e.what());
    }
    return answer;
}

void joinRetiredRuns();

// Background runs let go while still finishing a read: each is joined when it is done (at the
// next let-go), before a run of the same file starts, and at the latest when the application
// object goes (a post routine: before the engine's own static objects are destroyed at exit) or
// the plug-in is unloaded (this object's destructor), so no thread outlives what it uses.
class RetiredRuns {
public:
    static RetiredRuns &instance() {
        static RetiredRuns runs;
        return runs;
    }
    RetiredRuns() { qAddPostRoutine(&joinRetiredRuns); }
    ~RetiredRuns() {
        qRemovePostRoutine(&joinRetiredRuns);
        join({});
    }

    void add(std::string file, std::thread thread, std::shared_ptr<std::atomic<bool>> done) {
        std::vector<Run> finished;
        {
            const std::lock_guard lock(mutex_);
            runs_.push_back({std::move(file), std::move(thread), std::move(done)});
            finished = take([](const Run &r) { return r.done->load(); });
        }
        for (Run &r : finished)
            r.thread.join();
    }
    // Waits for the runs of file (of every file when empty).
    void join(const std::string &file) {
        std::vector<Run> waited;
        {
            const std::lock_guard lock(mutex_);
            waited = take([&](const Run &r) { return file.empty() || r.file == file; });
        }
        for (Run &r : waited)
            r.thread.join();
    }

private:
    struct Run {
        std::string file;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    template <class Pred>
    std::vector<Run> take(Pred pred) {
        std::vector<Run> taken, kept;
        for (Run &r : runs_)
            (pred(r) ? taken : kept).push_back(std::move(r));
        runs_ = std::move(kept);
        return taken;
    }

    std::mutex mutex_;
    std::vector<Run> runs_;
};

void joinRetiredRuns() {
    RetiredRuns::instance().join({});
}

}  // namespace

QString textHitTime(const TextHitRow &row) {
    if (row.timed)
        return dateTimeText(row.dateTime);
    return QStringLiteral("кадр ") + QString::number(int64_t{row.hit.firstFrame} + 1);
}

QString textHitLine(const TextHitRow &row) {
    return QString::fromStdString(row.hit.line).simplified();
}

QString textIndexStatusText(const TextIndexStatus &status) {
    const TextIndexCoverage &c = status.coverage;
    switch (status.mode) {
        case Mode::Idle:
            return {};
        case Mode::Starting:
            return coverageText(c);
        case Mode::Indexing: {
            QString text = indexedText(c);
            if (!status.reason.isEmpty())
                text += QStringLiteral(" (") + status.reason + QLatin1Char(')');
            return text;
        }
        case Mode::Elsewhere:
            return QStringLiteral("Индекс строит другая программа. ") + coverageText(c);
        case Mode::CannotRead:
            return coverageText(c) + QStringLiteral("; индексировать нельзя: ") + status.reason;
        case Mode::Failed:
            return coverageText(c) + QStringLiteral("; индексирование остановлено: ") +
                   status.reason;
    }
    return {};
}

QString textSearchResultText(size_t hits, bool capped, const QString &failure) {
    if (!failure.isEmpty())
        return QStringLiteral("Поиск не удался: ") + failure;
    if (hits == 0)
        return QStringLiteral("Ничего не найдено");
    QString text = QStringLiteral("Найдено: ") + QString::number(hits);
    if (capped)
        text += QStringLiteral(" (показаны первые ") + QString::number(hits) + QLatin1Char(')');
    return text;
}

// ---- TextSearch ------------------------------------------------------------------------------

TextSearch::TextSearch(QObject *parent)
    : QObject(parent), factory_([] { return makeTesseractReader(); }) {
    options_.threads = std::min(defaultTextThreads(), 2);
    RetiredRuns::instance();  // made while the application object lives (see there)
}

TextSearch::~TextSearch() {
    const QSignalBlocker quiet(this);  // the owner may be half gone
    close();
}

void TextSearch::setReaderFactory(TextReaderFactory factory) {
    factory_ = std::move(factory);
}

void TextSearch::setIndexerOptions(const TextIndexerOptions &options) {
    options_ = options;
}

// The owner of a background run, for its reports: cleared (under the mutex) when the run is let
// go, so that a run still finishing a read never reaches an owner that has gone.
struct TextSearch::Link {
    std::mutex mutex;
    TextSearch *owner = nullptr;
};

void TextSearch::open(const std::string &nativeFile) {
    close();
    // A run of this file let go a moment ago still holds the index's lock: it is waited for
    // (one region's read), or this run would take it for another program's.
    RetiredRuns::instance().join(nativeFile);
    file_ = nativeFile;
    status_ = {};
    status_.mode = Mode::Starting;
    indexCancel_ = std::make_shared<std::atomic<bool>>(false);
    indexDone_ = std::make_shared<std::atomic<bool>>(false);
    link_ = std::make_shared<Link>();
    link_->owner = this;
    const uint64_t id = generation_;
    TextIndexerOptions options = options_;
    options.follow = true;
    indexer_ = std::thread([id, options, file = file_, factory = factory_, watchMs = watchMs_,
                            flag = indexCancel_, done = indexDone_, link = link_] {
        BackgroundRun(file, factory, options, watchMs, *flag,
                      [&link, id](const TextIndexStatus &s) { post(link, s, id); })
            .run();
        done->store(true);
    });
    emit statusChanged();
}

void TextSearch::post(const std::shared_ptr<Link> &link, const TextIndexStatus &status,
                      uint64_t generation) {
    const std::lock_guard lock(link->mutex);
    TextSearch *owner = link->owner;
    if (!owner)
        return;
    // Queued to the owner's thread; Qt drops it if the owner is deleted before it runs.
    QMetaObject::invokeMethod(
        owner,
        [owner, status, generation] {
            if (generation != owner->generation_)
                return;
            owner->status_ = status;
            emit owner->statusChanged();
        },
        Qt::QueuedConnection);
}

void TextSearch::close() {
    cancelSearch();
    if (indexCancel_)
        indexCancel_->store(true);
    if (link_) {
        const std::lock_guard lock(link_->mutex);
        link_->owner = nullptr;
    }
    // The run stops at its next frame, or after the region it is reading (a whole screen may
    // take the engine seconds): it finishes on its own, and the window goes at once.
    if (indexer_.joinable())
        RetiredRuns::instance().add(file_, std::move(indexer_), indexDone_);
    link_.reset();
    ++generation_;
    file_.clear();
    hits_.clear();
    failure_.clear();
    capped_ = false;
    query_.clear();
    searchedFrames_ = 0;
    if (status_.mode != Mode::Idle) {
        status_ = {};
        emit statusChanged();
    }
}

void TextSearch::waitForRetiredRuns() {
    RetiredRuns::instance().join({});
}

bool TextSearch::search(const QString &query) {
    cancelSearch();
    const std::string text = query.toStdString();
    if (file_.empty() || searchWords(text).empty())
        return false;
    query_ = query;
    searchCancel_ = std::make_shared<std::atomic<bool>>(false);
    const uint64_t id = searchGeneration_;
    searching_ = true;
    searcher_ = std::thread([this, id, text, file = file_, flag = searchCancel_] {
        SearchAnswer answer = runSearch(file, text, *flag);
        if (flag->load())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, id, answer = std::move(answer)]() mutable {
                if (id != searchGeneration_)
                    return;
                if (searcher_.joinable())
                    searcher_.join();
                searching_ = false;
                hits_ = std::move(answer.hits);
                capped_ = answer.capped;
                failure_ = answer.failure;
                searchedFrames_ = answer.indexedFrames;
                emit searchFinished();
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool TextSearch::refresh() {
    if (searching_ || query_.isEmpty() || status_.coverage.indexedFrames <= searchedFrames_)
        return false;
    return search(query_);
}

void TextSearch::cancelSearch() {
    if (searchCancel_)
        searchCancel_->store(true);
    if (searcher_.joinable())
        searcher_.join();
    ++searchGeneration_;
    searching_ = false;
}

}  // namespace zv
