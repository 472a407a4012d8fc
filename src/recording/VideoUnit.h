#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "recording/HostQuery.h"
#include "recording/RecorderControl.h"
#include "recording/RecordingSettings.h"
#include "widgets/VideoControls.h"

class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;

namespace zv {
class FormPlacement;
class SpinEdit;
class Switch;
}  // namespace zv

// The recording settings window: edits the recorder's settings and writes them to cnf.INI,
// opens recorded files in the viewer, and carries the recorder's service buttons and
// indicators. Created once per loaded module, without owner, and shown modally on each choice
// of the menu entry; it keeps what the operator left in its controls between showings.
//
// The settings record is the module's and must outlive the window. The window reads the
// configuration file only in LoadSettings and writes it only on "Применить".
//
// While shown, Timer1 watches the recorder (its window and the state it publishes there) and the
// free space where its output file lies through the recorder services (the real ones unless
// others are handed in) and blinks the marks.
class TVideoForm : public QDialog {
    Q_OBJECT
public:
    // Runs a prepared open or save dialog; returns the chosen full name, empty when cancelled.
    // Replaceable so that tests need no modal loop.
    using FileDialogRunner = std::function<QString(QFileDialog &dialog)>;
    // Shows one recorded file and returns when the operator has closed it. Whoever creates the
    // window hands it in (the plug-in: the viewer, modally); without one the button does nothing.
    using ShowFileFn = std::function<void(const std::string &fileName)>;
    // Opens the export window over one recorded file and returns when the operator has closed
    // it. Handed in like ShowFileFn.
    using ExportFileFn = std::function<void(const std::string &fileName)>;

    explicit TVideoForm(TRecordingSettings &settings, QWidget *parent = nullptr);
    TVideoForm(TRecordingSettings &settings, zv::RecorderControlServices services,
               QWidget *parent = nullptr);
    ~TVideoForm() override;

    // The host's query function (may be null: the service buttons then stay as they are).
    void setHostQuery(HostQueryFn query) { hostQuery_ = query; }
    void setFileDialogRunner(FileDialogRunner runner) { runDialog_ = std::move(runner); }
    void setShowFile(ShowFileFn showFile) { showFile_ = std::move(showFile); }
    void setExportFile(ExportFileFn exportFile) { exportFile_ = std::move(exportFile); }

    // Reads cnf.INI into the settings record, then into the controls. Never fails: a missing
    // file or key leaves the defaults.
    void LoadSettings();
    // Copies the controls into a new record and writes all seven keys. Throws zv::Error when the
    // file cannot be written; the settings record then keeps its previous values.
    void SaveSettings();

    // Whether the recorder's window is among the top-level windows.
    bool IsServiceRunning();
    // Sends the quit message to the recorder; true when its window was found.
    bool StopService();
    // The recorder's autostart entry: action 0 adds it, 1 removes it, 2 tells whether it exists
    // (the only meaningful answer). Failures are silent.
    bool RunKeyAction(const std::string &valueName, int action);

    // Event handlers; none lets an exception out.
    void FormShow();
    void FormClose();
    void bGoClick();
    void bStopClick();
    void bAddAutoClick();
    void bDelAutoClick();
    void Timer1Timer();
    void Image2Click();
    void Image3MouseDown();
    void BitBtn1Click();
    void SpeedButton1Click();
    void seFrameDelayChange();
    void cbStartClick();
    void RxSwitch1Click();
    void btShowVideoClick();
    void BitBtn2Click();

    // Controls, named as on the form (also their objectName).
    QGroupBox *GroupBox1;
    QCheckBox *cbStart;
    zv::Switch *RxSwitch1;
    QPushButton *bGo, *bStop, *bAddAuto, *bDelAuto;
    zv::Picture *Image1, *Image2, *Image3, *Image4;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label7;
    QLineEdit *edFileForRec;
    QToolButton *SpeedButton1;
    zv::SpinEdit *seFrameDelay;
    QRadioButton *rbQualityNorm, *rbQualityHi;
    QLabel *lbSizeInHour;
    zv::SpinEdit *seMAxFileSize;
    zv::SpinEdit *seHDDSize;
    QCheckBox *CheckBox1;
    QPushButton *btShowVideo, *BitBtn2, *BitBtn1, *btClose;
    QTimer *Timer1;
    QFileDialog *sdFileName, *odFileName;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void createControls();
    void arrangeTabOrder();
    void connectHandlers();
    // Runs dialog, first clearing its file name unless keepName is set.
    QString runFileDialog(QFileDialog &dialog, bool keepName = false);
    // Width of the estimate label follows its text, left edge fixed, as an auto-sized label.
    void fitSizeLabel();
    // The kWaitRounds sleeps after a start or a stop, with the pending events handled after
    // each. False when the window was destroyed meanwhile.
    bool waitWithEvents();
    // A service button while its wait runs: "Ждем..." in blue; afterwards its caption in black.
    static void showWaiting(QPushButton *button);
    static void showIdle(QPushButton *button, const char *caption);
    void checkRecorder();
    void checkAutostart();
    void checkDiskSpace();

    TRecordingSettings &settings_;
    HostQueryFn hostQuery_ = nullptr;
    FileDialogRunner runDialog_;
    ShowFileFn showFile_;
    ExportFileFn exportFile_;
    std::unique_ptr<zv::FormPlacement> FormPlacement1;
    zv::RecorderControlServices services_;

    // Monitoring state; it survives from one showing to the next.
    bool ServiceRunning = false;
    // The recorder runs but writes no frames while recording is switched on; the recorder's mark
    // then blinks as for a recorder that is not running, its hint naming the reason.
    bool RecorderIdle = false;
    bool LowDiskSpace = false;
    uint32_t LastCheckTick = 0;
    std::string idleReason_;
};

namespace zv {

// "0.00" with the given decimal separator and no group separators.
QString formatFixed2(double value, const QString &decimalPoint);

}  // namespace zv
