#pragma once

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "container/TextReading.h"
#include "platform/Clock.h"

class QAction;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class QTableView;
class QTableWidget;
class TZVFFormat;

namespace zv {
class FormPlacement;
class FrameListModel;
class TextSearch;
class VideoPlayer;
}  // namespace zv

// The viewer: a modal window that plays one ZVF recording frame by frame.
//
// Callers create it without owner, call ShowVideoFile and destroy it when that returns. The
// playing itself (the reader, position, count, playback, following a growing recording, decoding
// ahead) is the non-visual zv::VideoPlayer; the window binds its controls to it and paints its
// picture. Waits (the 5 ms after a playback step, the 500 ms after a failed list fill) go through
// the clock handed in. Frame failures are shown through zv::showMessage, once per position; no
// exception leaves a handler.
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

    // Reads, labels and decodes frame index and has it painted, without moving the position; a
    // frame the file does not hold is not read (the picture is cleared). Failures are reported,
    // never thrown.
    void ShowFrame(int32_t index);
    // Puts the three play buttons up without running their click handlers.
    void ReleasePlayButtons();

    // Replaces the open dialog of sbOpen (tests); an empty chooser restores the dialog.
    void setFileChooser(FileChooser chooser);

    // True while the window is in its full-window mode (full screen without border, panel hidden).
    bool isFullWindow() const { return fullWindow_; }
    // The reader of the open file; null while none is held.
    const TZVFFormat *videoFile() const;
    // The frame list's rows.
    const zv::FrameListModel &frameList() const { return *frameModel_; }
    zv::VideoPlayer &player() const { return *player_; }
    // The text search of the open recording and its background indexing.
    zv::TextSearch &textSearch() const { return *textSearch_; }
    // True while the text search row is shown (Ctrl+F).
    bool isFindRowShown() const { return findRowShown_; }
    // The frame whose hit is outlined on the picture and the box, frame -1 when none is.
    int32_t outlinedFrame() const { return outlineFrame_; }
    const zv::TextBox &outlinedBox() const { return outlineBox_; }

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
    // Goes to the date-time in edGoTime.
    void sbGoTimeClick();
    // Opens the text search row, or closes it when it is open (Ctrl+F).
    void acFindTextExecute();
    // Searches the recording's text for edFindText's text.
    void sbFindTextClick();
    // Goes to hit row of lvTextHits and outlines its box.
    void lvTextHitsChoose(int row);

    // Regions and controls, named as the operator's documentation names them.
    QWidget *pb;
    QGroupBox *gbFrames;
    QTableView *lvFrames;
    QWidget *MainPanel = nullptr;
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
    // The row below the Part's controls: go to a date-time.
    QLabel *lbGoTime;
    QDateTimeEdit *edGoTime = nullptr;  // the event filter reads it before it is made
    QToolButton *sbGoTime;
    // Changes of the screen: the activity strip under the slider, the previous and next change
    // (beside the date-time) and skipping still screens while playing.
    QWidget *pbActivity;
    QToolButton *sbPrevChange;
    QToolButton *sbNextChange;
    QToolButton *sbSkipStill;
    QToolButton *sbFindRow;  // shows and hides the text search row, as Ctrl+F
    // The text search row under the go-to-time row, shown by Ctrl+F: the text, the search
    // button, how far the text index reaches, and the hits.
    QWidget *pnFindText;
    QLabel *lbFindText;
    QLineEdit *edFindText;
    QToolButton *sbFindText;
    QLabel *lbTextIndex;
    QTableWidget *lvTextHits;
    QTimer *Timer1;  // the player's playback timer
    QAction *acLeft;
    QAction *acRight;
    QAction *AcPgUp;
    QAction *AcPgDn;
    QAction *AcSpace;
    QAction *acPlus;
    QAction *acMinus;
    QAction *acGoTime;      // Ctrl+G: to the date-time field
    QAction *acPrevChange;  // Ctrl+Left
    QAction *acNextChange;  // Ctrl+Right
    QAction *acFindText;    // Ctrl+F: the text search row

    // Playback intervals of the three play buttons.
    static constexpr int kPlayInterval = 950;
    static constexpr int kPlay2xInterval = 150;
    static constexpr int kPlay3xInterval = 10;

protected:
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    class PaintBox;
    class ActivityStrip;

    // Layout (ShowVideoLayout.cpp).
    void buildControls();
    void buildFrameList();
    void buildPanel();
    void buildPanelButtons(QWidget *panel);
    void buildFrameLabels(QWidget *panel);
    void buildGoTimeRow(QWidget *panel);
    void buildChangeControls(QWidget *panel);
    void buildFindRow(QWidget *panel);
    void setFindRowShown(bool on);
    void buildActions();
    void connectControls();
    void placePanelControls();

    // Binding to the player.
    void bindPlayer();
    void playerFileChanged();
    void playerPositionChanged(int32_t position);
    void playerFrameShown(int32_t index);
    void playerFrameFailed(const QString &text);
    void showSliderTime(int value);

    // Binding to the text search.
    void bindTextSearch();
    void textSearchFinished();
    void showTextIndexStatus();
    void showTextIndexLine();
    // Ends the search and the indexing of the file, and empties what the row showed of it.
    void closeTextSearch();
    void clearOutline();
    void paintOutline(QPainter &painter);

    void playClicked(QToolButton *button, int interval);
    void goToTimeField();
    // The form's paint handler: the position's frame, unless a shown frame waits for its paint.
    void FormPaint(QPainter &painter);
    void openReader(const std::string &fileName);
    // The window without a reader: nothing to show, nothing to read.
    void showNoFile();
    void fillFrameList();
    void setFullWindow(bool on);
    void savePlacement();
    std::optional<QString> runOpenDialog();
    // Runs a handler body, showing an escaping error instead of letting it leave the slot.
    void guarded(const std::function<void()> &body);

    bool ClearingList = false;

    zv::Clock &clock_;
    zv::VideoPlayer *player_;
    zv::FrameListModel *frameModel_;
    zv::TextSearch *textSearch_;
    std::unique_ptr<zv::FormPlacement> placement_;
    FileChooser chooser_;

    QImage picture_;           // wraps the player's picture, no copy
    bool freshFrame_ = false;  // a shown frame waits for its paint: draw it without reading again
    bool inPaint_ = false;
    bool reporting_ = false;  // a frame failure box is up or queued
    bool fullWindow_ = false;
    QByteArray normalPlacement_;  // the placement before full-window mode

    bool findRowShown_ = false;
    QString searchResult_;       // the line about the last search, before the index's
    QString textIndexLine_;      // what lbTextIndex says, whole
    QTimer *textRefresh_;        // searches again while the background indexing goes on
    int32_t outlineFrame_ = -1;  // the hit outlined on the picture: its frame and box
    zv::TextBox outlineBox_;
};
