#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace zv {

// One search for a change of the screen (container/ChangeFinder.h) at a time, on a thread of its
// own over its own open file, so that a search across hours of a still screen (many frames
// compared byte by byte) never holds the window. The answer comes back through finished on the
// thread that owns the object; a search started anew, cancelled or outlived by the object
// answers nothing.
class ChangeSearch : public QObject {
    Q_OBJECT
public:
    enum class Direction { Next, Previous };

    explicit ChangeSearch(QObject *parent = nullptr);
    // Cancels a search under way and waits for its thread (at most one piece of reading).
    ~ChangeSearch() override;

    // Searches nativeFile from frame from; a search under way is cancelled first.
    void start(const std::string &nativeFile, Direction direction, int32_t from);
    void cancel();
    bool busy() const { return busy_; }

signals:
    // found: the change start, or -1 when there is none (Next: no change up to the end of the
    // file, whose last frame was reach; Previous: from is 0). failure: the reason the file could
    // not be read, empty otherwise.
    void finished(zv::ChangeSearch::Direction direction, int32_t from, int32_t found, int32_t reach,
                  const QString &failure);

private:
    void join();

    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    uint64_t generation_ = 0;
    bool busy_ = false;
};

}  // namespace zv
