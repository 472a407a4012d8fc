#include "export/WaitFormUnit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "export/ExportRun.h"
#include "widgets/TahomaFont.h"

namespace {

constexpr int kClientWidth = 360;
constexpr int kClientHeight = 104;

QLabel *placeLabel(QWidget *parent, const char *name, const char *text, QPoint at) {
    auto *label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(at);
    label->adjustSize();
    return label;
}

}  // namespace

TWaitVideoExpForm::TWaitVideoExpForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("WaitVideoExpForm"));
    setFont(zv::tahomaFont(11));
    setFixedSize(kClientWidth, kClientHeight);
    setWindowModality(Qt::ApplicationModal);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(0, 0, kClientWidth, kClientHeight);
    Label1 = placeLabel(Panel1, "Label1", "Производится длительная операция по экспорту данных",
                        {32, 8});
    Label2 = placeLabel(Panel1, "Label2", "Пожалуйста ждите...", {104, 51});
    Label2->setFont(zv::tahomaFont(13, true));
    QPalette green = Label2->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    Label2->setPalette(green);
    Label2->adjustSize();

    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(12, 75, 252, 18);
    ProgressBar1->setRange(0, 0);
    btCancel = new QPushButton(QString::fromUtf8("Отмена"), Panel1);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btCancel->setGeometry(272, 72, 76, 24);
    btCancel->setAutoDefault(false);
    connect(btCancel, &QPushButton::clicked, this, [this] { reject(); });

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

TWaitVideoExpForm::~TWaitVideoExpForm() = default;

void TWaitVideoExpForm::ShowNotice() {
    show();
    raise();
    QCoreApplication::processEvents();
}

void TWaitVideoExpForm::CloseNotice() {
    hide();
}

void TWaitVideoExpForm::WaitFor(zv::ExportRun &run) {
    QEventLoop loop;
    QTimer ticker;
    ticker.setInterval(kProgressIntervalMs);
    connect(&ticker, &QTimer::timeout, this, [this] { showProgress(); });
    run_ = &run;
    loop_ = &loop;
    shownPhase_ = -1;
    shownDone_ = -1;
    btCancel->setEnabled(true);
    // The thread's last act wakes this loop through the event queue; the run is joined before
    // the notice can go, so the call never outlives it.
    run.start([this] {
        QMetaObject::invokeMethod(
            this, [this] { runDone(); }, Qt::QueuedConnection);
    });
    ticker.start();
    loop.exec();
    ticker.stop();
    // Left early (the application is quitting): the export must not outlast the wait.
    if (!run.done())
        run.cancel();
    showProgress();
    run_ = nullptr;
    loop_ = nullptr;
    run.finish();
}

void TWaitVideoExpForm::runDone() {
    if (loop_)
        loop_->quit();
}

void TWaitVideoExpForm::showProgress() {
    if (!run_)
        return;
    const zv::ExportRun::Progress p = run_->progress();
    if (static_cast<int>(p.phase) == shownPhase_ && p.done == shownDone_)
        return;
    shownPhase_ = static_cast<int>(p.phase);
    shownDone_ = p.done;
    emit barMoved();
    if (p.total <= 0) {
        ProgressBar1->setRange(0, 0);  // nothing measured yet: a busy bar
        return;
    }
    if (p.phase == zv::ExportRun::Phase::Frames) {
        // Frame counts stay below 500,000 and fit the bar's int.
        ProgressBar1->setRange(0, static_cast<int>(p.total));
        ProgressBar1->setValue(static_cast<int>(p.done));
        ProgressBar1->setFormat(QString::fromUtf8("Кадры: %v из %m"));
    } else {
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(static_cast<int>(p.done * 100 / p.total));
        ProgressBar1->setFormat(QString::fromUtf8("Архив 7zip: %p%"));
    }
}

void TWaitVideoExpForm::reject() {
    // The notice is never closed by the operator: Esc and "Отмена" ask the export to stop.
    if (run_ && !run_->cancelRequested()) {
        run_->cancel();
        btCancel->setEnabled(false);
    }
}

void TWaitVideoExpForm::closeEvent(QCloseEvent *event) {
    if (run_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
