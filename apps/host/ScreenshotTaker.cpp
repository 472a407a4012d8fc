#include "ScreenshotTaker.h"

#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QWidget>
#include <cstdio>

namespace {

// Long enough for a window manager to place the window and for the viewer's first frame to be
// decoded and painted.
constexpr int kSettleMs = 800;

}  // namespace

ScreenshotTaker::ScreenshotTaker(QString path, QObject *parent)
    : QObject(parent), path_(std::move(path)) {
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, &ScreenshotTaker::poll);
    timer_.start();
}

void ScreenshotTaker::poll() {
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        seen_ = nullptr;
        return;
    }
    if (modal != seen_) {
        seen_ = modal;
        seenFor_.start();
        return;
    }
    if (seenFor_.elapsed() < kSettleMs)
        return;
    seen_ = nullptr;
    save(*modal);
    modal->close();
}

void ScreenshotTaker::finish(QWidget &fallback) {
    timer_.stop();
    if (taken_ == 0)
        save(fallback);
}

void ScreenshotTaker::save(QWidget &window) {
    const QString file = nextPath();
    const bool saved = window.grab().save(file, "PNG");
    ++taken_;
    failed_ = failed_ || !saved;
    std::fprintf(stderr, "zorvideo-host: %s %s (%s, \"%s\")\n",
                 saved ? "снимок окна сохранён в" : "не удалось сохранить снимок окна",
                 qPrintable(file), qPrintable(window.objectName()),
                 window.windowTitle().toUtf8().constData());
}

QString ScreenshotTaker::nextPath() const {
    if (taken_ == 0)
        return path_;
    const QFileInfo info(path_);
    const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
    const QString base = suffix.isEmpty() ? path_ : path_.left(path_.size() - suffix.size());
    return base + "-" + QString::number(taken_ + 1) + suffix;
}
