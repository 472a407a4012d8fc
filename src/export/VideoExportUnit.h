#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "export/ExportRequest.h"

class QCheckBox;
class QDateEdit;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QToolButton;
class QVBoxLayout;
class TZVFFormat;
class TWaitVideoExpForm;

namespace zvf {
class SizeActivity;
}  // namespace zvf

namespace zv {
class ExportRun;
class FormPlacement;
class SpinEdit;
}  // namespace zv

// The export window: the operator chooses a part of one recording (by time, by frame numbers or
// on a strip that stands for the whole recording) and a target (a new ZVF file, optionally with
// a 7z archive, a folder of GIF pictures, or an MP4 video), and exports it while a notice stands.
//
// Created without owner for one call of ShowForFile and destroyed afterwards. The window owns
// one frame store (FZVF) from ShowForFile to its closing; the frame count is read from the file
// at every use, so the strip follows a recording that grows meanwhile. The export runs on a
// thread of its own while the notice holds the input (TWaitVideoExpForm). Failures are shown as
// "Ошибка экспорта: " + message through zv::showMessage; no exception leaves a handler.
class TExportForm : public QDialog {
    Q_OBJECT
public:
    // Runs a prepared file or folder dialog; returns the chosen name, empty when cancelled.
    using DialogRunner = std::function<QString(QFileDialog &dialog)>;
    // Makes the frame store's call for a request; runs on the export's own thread.
    using ExportCall = std::function<void(TZVFFormat &zvf, const zv::ExportRequest &request)>;
    // Called on the UI thread with each notice, once its export has been started (tests).
    using NoticeWatcher = std::function<void(TWaitVideoExpForm &notice)>;

    explicit TExportForm(QWidget *parent = nullptr);
    ~TExportForm() override;

    // Opens fileName (the name as the operator sees it), fills the window and shows it modally;
    // returns when it has closed. A name of no existing file returns at once and shows nothing.
    // A file that cannot be opened throws zv::Error.
    void ShowForFile(const std::string &fileName);
    // ShowForFile without the modal loop: false, with nothing changed, when no such file exists.
    bool OpenForFile(const std::string &fileName);

    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }
    void setExportCall(ExportCall call) { exportCall_ = std::move(call); }
    void setNoticeWatcher(NoticeWatcher watcher) { noticeWatcher_ = std::move(watcher); }

    // Handlers, callable as the controls call them; x is in strip pixels.
    void FormShow();
    void FormClose();
    void rbExpVideoClick();
    void rbIntTimeClick();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void pbMouseDown(int64_t x);
    void pbMouseMove(int64_t x);
    void pbMouseUp();
    // Draws the strip off screen and copies it onto painter in one operation.
    void pbPaint(QPainter &painter);
    void Step2_3MouseDown();
    void BitBtn1Click();

    // The frame of a strip position with the frame count read now.
    int32_t PositionToFrame(int64_t x) const;
    // The request that "Экспортировать" would run now.
    zv::ExportRequest exportRequest() const;
    // The frame store over the open recording; null before ShowForFile and after closing.
    const TZVFFormat *videoFile() const { return FZVF.get(); }

    // The graphical selection, shared by all export windows (one exists at a time).
    static inline int64_t SelStartX = 0;
    static inline int64_t SelEndX = 0;
    static inline bool SelDragging = false;

    // Controls, named as on the form (also their objectName).
    QGroupBox *GroupBox1;
    QRadioButton *rbExpVideo, *rbExpPictures, *rbExpMp4;
    QGroupBox *Step1_1;
    QLabel *Label1;
    QLineEdit *edExportFile;
    QToolButton *SpeedButton1;
    QCheckBox *cbAddInZIP;
    QGroupBox *Step1_2;
    QLabel *Label2;
    QLineEdit *edExportDir;
    QToolButton *SpeedButton2;
    QWidget *Shape1;
    QGroupBox *GroupBox2;
    QRadioButton *rbIntTime, *rbIntFrame, *rbIntGraph;
    QGroupBox *Step2_1;
    QLabel *lbDateTimeVideo, *Label3, *Label4;
    QDateEdit *DateStartExp, *DateEndExp;
    QTimeEdit *TimeStartExp, *TimeEndExp;
    QGroupBox *Step2_2;
    QLabel *lbNumFramesVideo, *Label5, *Label7;
    zv::SpinEdit *seStartFrames, *seEndFrames;
    QGroupBox *Step2_3;
    QLabel *lbStartData, *lbMeedleData, *lbEndData;
    QWidget *pb;
    QLabel *lbStartFrame, *lbMeedleFrame, *lbEndFrame;
    QLabel *Label6, *lbSelFrames, *lbSelDatas;
    QWidget *Panel1;
    QPushButton *BitBtn1, *BitBtn2;
    QFileDialog *sd1;

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class StripBox;

    void buildExportType(QVBoxLayout *stack);
    void buildTargetPanels(QVBoxLayout *stack);
    void buildIntervalKind(QVBoxLayout *stack);
    void buildTimePanel(QVBoxLayout *stack);
    void buildFramePanel(QVBoxLayout *stack);
    void buildGraphPanel(QVBoxLayout *stack);
    void buildButtonBar(QVBoxLayout *stack);
    void connectHandlers();
    // Fills the labels, pickers and spin boxes from the open recording.
    void fillFromFile(const std::string &fileName);
    // The frame count read now; 0 while no recording is open.
    int32_t frameCount() const;
    // The date-time text of frame i, empty for a frame the recording does not hold.
    QString frameText(int32_t index) const;
    void showSelection();
    // The window's height follows the panels shown.
    void fitHeight();
    // The file name's extension follows the kind of video file chosen (.zvf or .mp4).
    void matchFileExtension();
    void restoreStorage();
    void saveStorage();
    // Runs request on its own thread while a notice stands; throws its failure.
    void runWithNotice(const zv::ExportRequest &request);
    // The activity of each strip position (0 .. 400) from the sizes of the frames it stands
    // for, read up to the count now (only new entries; a file cut or replaced from the start).
    std::vector<uint8_t> stripActivity();

    std::unique_ptr<TZVFFormat> FZVF;
    std::unique_ptr<zvf::SizeActivity> activity_;
    std::unique_ptr<zv::FormPlacement> FormStorage1;
    DialogRunner runDialog_;
    ExportCall exportCall_;
    NoticeWatcher noticeWatcher_;
    zv::ExportRun *running_ = nullptr;  // the export under way, if any
};

namespace zv {

// What the settings window's "Экспорт" does with a chosen name: an export window without owner
// shown over fileName (ShowForFile) and destroyed afterwards, also when an error passes on.
void showExportWindow(const std::string &fileName);

}  // namespace zv
