#pragma once

#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace zvtest {

// Polls condition every 20 ms until it holds or timeoutMs pass: for other processes, files and
// servers, which no event of this process announces (windows of this process: QTest::qWaitFor).
// True when the condition came.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

}  // namespace zvtest
