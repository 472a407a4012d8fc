#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "container/GifImage.h"
#include "platform/Clock.h"

class QAction;
class QGroupBox;
class QLabel;
class QPainter;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class QTableView;
class TZVFFormat;

namespace zv {
class FormPlacement;
class FrameListModel;
}  // namespace zv

// The viewer: a modal window that plays one ZVF recording frame by frame.
//
// Callers create it without owner, call ShowVideoFile and destroy it when that returns. The
// window owns one reader (VideoFile) while a file is open and releases it when it closes. All
// waits (the 5 ms after a playback step, the 500 ms after a failed list fill) go through the clock
// handed in. Frame failures are shown through zv::showMessage, once per position; no exception
// leaves a handler.
class TShowVideoForm : public QDialog {
    Q_OBJECT
public:
    // Chooses the file for sbOpen: the name, or nothing when the choice was cancelled.
    using FileChooser = std::function<std::optional<QString>()>;

    explicit TShowVideoForm(QWidget *parent = nullptr, zv::Clock &clock = zv::systemClock());
    ~TShowVideoForm() override;

    // Opens fileName (the name as the operator sees it; drive paths are mapped) and shows the
    // window modally; returns when it is closed. A name of no existing file returns at once and
    // shows nothing. A file that exists but cannot be opened throws zv::Error to the caller.
    void ShowVideoFile(const std::string &fileName);
    // ShowVideoFile without the modal loop (for tests and launchers): false, with nothing changed,
    // when no such file exists; otherwise the file is open and the window ready to show.
    bool OpenVideoFile(const std::string &fileName);

    // Reads, labels and decodes frame index and has it painted; a frame the file does not hold is
    // not read (the picture is cleared). Failures are reported, never thrown.
    void ShowFrame(int32_t index);
    // Puts the three play buttons up without running their click handlers.
    void ReleasePlayButtons();

    // Replaces the open dialog of sbOpen (tests); an empty chooser restores the dialog.
    void setFileChooser(FileChooser chooser);

    // True while the window is in its full-window mode (full screen without border, panel hidden).
    bool isFullWindow() const { return fullWindow_; }
    // The reader of the open file; null while none is held.
    const TZVFFormat *videoFile() const { return VideoFile.get(); }
    // The frame list's rows.
    const zv::FrameListModel &frameList() const { return *frameModel_; }

    // Handlers, callable as the controls call them.
    void RxSlider1Change();
    void lvFramesChanging(int row);
    void sbFramesClick();
    void sbFirstClick();
    void sbLastClick();
    void sbPlayClick();
    void sbPlay2xClick();
    void sbPlay3xClick();
    void sbPauseClick();
    void sbStopClick();
    void Timer1Timer();
    void sbOpenClick();
    void pbDblClick();
    void FormClose();

    // Regions and controls, named as the operator's documentation names them.
    QWidget *pb;
    QGroupBox *gbFrames;
    QTableView *lvFrames;
    QWidget *MainPanel;
    QToolButton *sbFrames;
    QLabel *Label1;
    QLabel *lbSIzevideo;
    QLabel *Label2;
    QLabel *lbFrameCount;
    QSlider *RxSlider1;
    QLabel *lbFRNum;
    QToolButton *sbFirst;
    QToolButton *sbPlay;
    QToolButton *sbPlay2x;
    QToolButton *sbPlay3x;
    QToolButton *sbPause;
    QToolButton *sbStop;
    QToolButton *sbLast;
    QToolButton *sbOpen;
    QToolButton *sbRePlay;
    QLabel *Label3;
    QLabel *LbFrSize;
    QLabel *lbFrData;
    QPushButton *BitBtn1;
    QTimer *Timer1;
    QAction *acLeft;
    QAction *acRight;
    QAction *AcPgUp;
    QAction *AcPgDn;
    QAction *AcSpace;
    QAction *acPlus;
    QAction *acMinus;

    // Playback intervals of the three play buttons and the limits of acPlus / acMinus.
    static constexpr int kPlayInterval = 950;
    static constexpr int kPlay2xInterval = 150;
    static constexpr int kPlay3xInterval = 10;
    static constexpr int kIntervalStep = 20;
    static constexpr int kMinInterval = 10;
    static constexpr int kMaxInterval = 3'600'000;

protected:
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class PaintBox;

    void buildControls();
    void buildActions();
    void placePanelControls();
    void moveBy(int delta);
    void playClicked(QToolButton *button, int interval);
    // The form's paint handler: the slider's frame, unless a shown frame waits for its paint.
    void FormPaint(QPainter &painter);
    // Reads and decodes frame index into the picture and sets the frame labels.
    void loadFrame(int32_t index);
    void clearPicture();
    void showNoFrame();
    // Opens the reader and sets the file's labels, the slider and the caption; throws zv::Error.
    void openReader(const std::string &fileName);
    void releaseReader();
    // The window without a reader: nothing to show, nothing to read.
    void showNoFile();
    void fillFrameList();
    void reportFrameError(int32_t index, const std::string &text);
    void setFullWindow(bool on);
    std::optional<QString> runOpenDialog();
    // Runs a handler body, showing an escaping error instead of letting it leave the slot.
    template <class F>
    void guarded(F &&body);

    std::unique_ptr<TZVFFormat> VideoFile;
    bool ClearingList = false;

    zv::Clock &clock_;
    zv::FrameListModel *frameModel_;
    std::unique_ptr<zv::FormPlacement> placement_;
    FileChooser chooser_;

    // The picture last decoded (what the paint box shows) and the image the next frame is
    // decoded into; swapped after a good decode so that a failed one keeps the old picture and
    // neither allocates after the first frame.
    zv::GifImage frame_;
    zv::GifImage scratch_;
    QImage picture_;           // wraps frame_'s pixels, no copy
    bool freshFrame_ = false;  // a shown frame waits for its paint: draw it without reading again
    bool inPaint_ = false;
    int32_t reportedIndex_ = -1;  // position whose failure was reported last
    bool reporting_ = false;      // a frame failure box is up or queued
    bool fullWindow_ = false;
};
