#include "viewer/ChangeSearch.h"

#include <exception>
#include <limits>
#include <vector>

#include "container/ChangeFinder.h"
#include "platform/File.h"

namespace zv {

namespace {

struct Answer {
    int32_t found = -1;
    int32_t reach = -1;
    QString failure;
};

Answer search(const std::string &nativeFile, ChangeSearch::Direction direction, int32_t from,
              const std::atomic<bool> &cancel) {
    Answer answer;
    try {
        std::unique_ptr<RandomFile> file =
            localFileSystem().open(nativeFile, FileSystem::OpenMode::Read);
        if (direction == ChangeSearch::Direction::Previous) {
            answer.found = zvf::previousChange(*file, from, &cancel).value_or(-1);
            return answer;
        }
        // The scanner itself, not nextChange: a search that finds nothing tells how far it
        // looked, which a recording that grew meanwhile may put short of its new end.
        zvf::ChangeScanner scanner(*file, from);
        std::vector<int32_t> starts;
        if (scanner.scan(from, starts, true, &cancel) > 0) {
            starts.clear();
            scanner.scan(std::numeric_limits<int32_t>::max() - 1, starts, true, &cancel);
            if (!starts.empty())
                answer.found = starts.front();
        }
        answer.reach = scanner.next() - 1;
    } catch (const std::exception &e) {
        answer.failure = QString::fromStdString(e.what());
    }
    return answer;
}

}  // namespace

ChangeSearch::ChangeSearch(QObject *parent) : QObject(parent) {}

ChangeSearch::~ChangeSearch() {
    cancel();
}

void ChangeSearch::start(const std::string &nativeFile, Direction direction, int32_t from) {
    cancel();
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    const uint64_t id = ++generation_;
    busy_ = true;
    worker_ = std::thread([this, nativeFile, direction, from, id, flag = cancel_] {
        const Answer answer = search(nativeFile, direction, from, *flag);
        if (flag->load())
            return;
        // Queued to the owner's thread; an object deleted before it runs drops it.
        QMetaObject::invokeMethod(
            this,
            [this, id, direction, from, answer] {
                if (id != generation_)
                    return;
                join();
                busy_ = false;
                emit finished(direction, from, answer.found, answer.reach, answer.failure);
            },
            Qt::QueuedConnection);
    });
}

void ChangeSearch::cancel() {
    if (cancel_)
        cancel_->store(true);
    join();
    ++generation_;
    busy_ = false;
}

void ChangeSearch::join() {
    if (worker_.joinable())
        worker_.join();
}

}  // namespace zv
