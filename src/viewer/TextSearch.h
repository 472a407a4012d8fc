#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "container/TextIndex.h"
#include "container/TextIndexer.h"

// Text search over the open recording for the viewer, without any window: searches of its text
// index (container/TextIndex.h) on a thread of their own, and the index kept up in the
// background while the recording is open (container/TextIndexer.h, following the recording, at
// low priority). When another process is writing the index (it holds the writer's lock), or no
// engine can read text here, nothing is indexed: the index that exists is still searched and its
// coverage watched as it grows.
namespace zv {

// How far the index of the open recording serves it, and who keeps it up.
struct TextIndexStatus {
    enum class Mode {
        Idle,        // no recording open
        Starting,    // looking at the index
        Indexing,    // this viewer indexes (and follows the recording)
        Elsewhere,   // another process writes the index; its coverage is watched
        CannotRead,  // no engine to read text (reason): the index that exists is searched
        Failed,      // indexing stopped on an error (reason); the index that exists is searched
    };
    Mode mode = Mode::Idle;
    TextIndexCoverage coverage;  // as last seen
    QString reason;
};

// One hit as the viewer lists it: the line and the date-time of its first frame.
struct TextHitRow {
    TextHit hit;
    double dateTime = 0;  // of hit.firstFrame
    bool timed = false;   // dateTime was read (the entry may be beyond a recording that shrank)
};

// The row's time as the viewer shows frame times, or the frame's number without one.
QString textHitTime(const TextHitRow &row);
// The line as listed: its words, with what the engine left at the ends trimmed.
QString textHitLine(const TextHitRow &row);
// The operator's line about the index ("Проиндексировано 1234 из 5000 кадров", and why it is not
// kept up).
QString textIndexStatusText(const TextIndexStatus &status);
// The operator's line about a finished search.
QString textSearchResultText(size_t hits, bool capped, const QString &failure);

class TextSearch : public QObject {
    Q_OBJECT
public:
    // The most hits one search lists.
    static constexpr size_t kMaxHits = 1000;

    explicit TextSearch(QObject *parent = nullptr);
    // Cancels the search and the indexing (see close).
    ~TextSearch() override;

    // The engine to index with, made on each reading thread; by default Tesseract (rus, eng).
    // Takes effect at the next open.
    void setReaderFactory(TextReaderFactory factory);
    // Indexer options (tests: threads, polling); follow and low priority are always set.
    void setIndexerOptions(const TextIndexerOptions &options);
    // How often the coverage of an index written elsewhere is looked at.
    void setWatchIntervalMs(int ms) { watchMs_ = ms; }

    // Starts on the recording at nativeFile: looks at its index and keeps it up in the
    // background. What was under way for another recording is cancelled first.
    void open(const std::string &nativeFile);
    // Cancels the search (joining its thread) and the indexing; status Idle. The indexing's
    // thread is not waited for: it stops at its next frame, or when the region it reads is read,
    // commits what it read and ends on its own; a later open of the same file waits for it, and
    // at the latest the end of the program (or the unloading of the plug-in) does.
    void close();
    // Waits for the indexing threads of every TextSearch closed (tests).
    static void waitForRetiredRuns();
    const TextIndexStatus &status() const { return status_; }

    // Searches the index for query on a thread of its own; a search under way is cancelled.
    // searchFinished tells when it ends (never for a query of blanks: false, nothing started).
    bool search(const QString &query);
    bool searching() const { return searching_; }
    // The last finished search.
    const std::vector<TextHitRow> &hits() const { return hits_; }
    const QString &searchFailure() const { return failure_; }
    bool hitsCapped() const { return capped_; }
    // The query of the last search started, and how many frames the index held for it.
    const QString &query() const { return query_; }
    int32_t searchedFrames() const { return searchedFrames_; }
    // Searches the last query again when the index has grown since it was searched (the
    // background indexing went on); false when it has not, or a search is under way.
    bool refresh();

signals:
    void statusChanged();
    void searchFinished();

private:
    struct Link;
    static void post(const std::shared_ptr<Link> &link, const TextIndexStatus &status,
                     uint64_t generation);
    void cancelSearch();

    TextReaderFactory factory_;
    TextIndexerOptions options_;
    int watchMs_ = 1000;
    std::string file_;
    TextIndexStatus status_;
    uint64_t generation_ = 0;

    std::thread indexer_;
    std::shared_ptr<std::atomic<bool>> indexCancel_;
    std::shared_ptr<std::atomic<bool>> indexDone_;
    std::shared_ptr<Link> link_;

    std::thread searcher_;
    std::shared_ptr<std::atomic<bool>> searchCancel_;
    uint64_t searchGeneration_ = 0;
    bool searching_ = false;
    std::vector<TextHitRow> hits_;
    QString failure_;
    bool capped_ = false;
    QString query_;
    int32_t searchedFrames_ = 0;
};

}  // namespace zv
