#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QWidget;

// Saves what the operator would see of the windows a headless run opens: each modal window, once
// it has stood and painted for a moment, is grabbed to PNG and then closed, so that the call that
// opened it returns. The first picture goes to the given path, later ones to "-2", "-3", ...
// before its suffix.
class ScreenshotTaker : public QObject {
    Q_OBJECT
public:
    explicit ScreenshotTaker(QString path, QObject *parent = nullptr);

    // Grabs fallback when no modal window was grabbed yet, and stops watching.
    void finish(QWidget &fallback);
    // True when every picture could be saved and at least one was.
    bool succeeded() const { return taken_ > 0 && !failed_; }

private:
    void poll();
    void save(QWidget &window);
    QString nextPath() const;

    QString path_;
    QTimer timer_;
    QPointer<QWidget> seen_;
    QElapsedTimer seenFor_;
    int taken_ = 0;
    bool failed_ = false;
};
