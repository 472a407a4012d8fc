#pragma once

#include <QDialog>
#include <cstdint>

class QEventLoop;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

namespace zv {
class ExportRun;
}

// The notice that asks the operator to wait while an export runs: borderless, on top of other
// windows, centred on the desktop. It shows the export's progress and offers "Отмена".
//
// While it stands it is modal: input reaches only the notice, while every other event (paints,
// timers, the window manager's pings) is processed as usual, because the export itself runs on
// a thread of its own (WaitFor).
class TWaitVideoExpForm : public QDialog {
    Q_OBJECT
public:
    explicit TWaitVideoExpForm(QWidget *parent = nullptr);
    ~TWaitVideoExpForm() override;

    // Shows the notice and lets the UI process what is pending once, so that it is drawn.
    void ShowNotice();
    // Hides it.
    void CloseNotice();

    // Starts run and returns when it has ended, showing its progress meanwhile; "Отмена" or Esc
    // asks it to stop. Rethrows the export's failure (a cancelled export is none).
    void WaitFor(zv::ExportRun &run);

    // How often the bar is brought up to date while an export runs.
    static constexpr int kProgressIntervalMs = 100;

    QFrame *Panel1;
    QLabel *Label1;
    QLabel *Label2;
    QProgressBar *ProgressBar1;
    QPushButton *btCancel;

signals:
    // The bar has moved: it shows more of the work done, or the next step.
    void barMoved();

protected:
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showProgress();
    // Called through the event queue when the run's thread has done its work.
    void runDone();

    zv::ExportRun *run_ = nullptr;
    QEventLoop *loop_ = nullptr;
    int shownPhase_ = -1;  // what the bar shows now, to tell when it moves
    int64_t shownDone_ = -1;
};
