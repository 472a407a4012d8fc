#include "viewer/ShowVideoUnit.h"

#include <QAction>
#include <QCursor>
#include <QDateTimeEdit>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <exception>
#include <utility>

#include "container/ZVFformatUnit.h"
#include "platform/DateTimeText.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "viewer/FrameListModel.h"
#include "viewer/TextSearch.h"
#include "viewer/VideoPlayer.h"
#include "widgets/FormPlacement.h"
#include "widgets/TahomaFont.h"

namespace {

const QString kCaption = QStringLiteral("Просмотр видеофайла: ");

// Design size of the client area; the design limit of 500 x 400 counts the window's frame.
constexpr int kClientWidth = 492;
constexpr int kClientHeight = 420;
constexpr int kMinClientWidth = 492;
constexpr int kMinClientHeight = 373;
constexpr int kFillErrorPauseMs = 500;
// While the index grows under a search shown, the search is made again this often.
constexpr int kTextRefreshMs = 2000;

}  // namespace

void TShowVideoForm::guarded(const std::function<void()> &body) {
    zv::showFailureOf(body);
}

TShowVideoForm::TShowVideoForm(QWidget *parent, zv::Clock &clock)
    : QDialog(parent),
      clock_(clock),
      player_(new zv::VideoPlayer(clock, this)),
      textSearch_(new zv::TextSearch(this)) {
    setObjectName(QStringLiteral("ShowVideoForm"));
    setWindowTitle(kCaption);
    setFont(zv::tahomaFont(11));  // Tahoma 8 pt
    setSizeGripEnabled(false);
    setMinimumSize(kMinClientWidth, kMinClientHeight);
    resize(kClientWidth, kClientHeight);
    move(0, 0);

    Timer1 = player_->timer();
    buildControls();
    buildActions();
    connectControls();
    bindPlayer();
    bindTextSearch();
    placement_ = std::make_unique<zv::FormPlacement>(this, QStringLiteral("TShowVideoForm"));
}

TShowVideoForm::~TShowVideoForm() {
    // The background indexing ends before the controls it reports to go.
    const QSignalBlocker quiet(textSearch_);
    textSearch_->close();
    // The list's rows read through the reader; they must let go of it first.
    frameModel_->setSource(nullptr);
}

const TZVFFormat *TShowVideoForm::videoFile() const {
    return player_->reader();
}

bool TShowVideoForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == MainPanel && event->type() == QEvent::Resize)
        placePanelControls();
    if (watched == edGoTime && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            sbGoTimeClick();
            edGoTime->clearFocus();  // the keys step through frames again
            return true;
        }
    }
    if (watched == edFindText && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            sbFindTextClick();
            return true;
        }
        if (key == Qt::Key_Down && lvTextHits->rowCount() > 0) {  // on to the hits
            lvTextHits->setFocus(Qt::TabFocusReason);
            if (lvTextHits->currentRow() < 0)
                lvTextHits->setCurrentCell(0, 0);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Binding to the player -------------------------------------------------------------------

void TShowVideoForm::bindPlayer() {
    connect(player_, &zv::VideoPlayer::fileChanged, this, [this] { playerFileChanged(); });
    connect(player_, &zv::VideoPlayer::positionChanged, this,
            [this](int32_t position) { playerPositionChanged(position); });
    connect(player_, &zv::VideoPlayer::frameShown, this,
            [this](int32_t index) { playerFrameShown(index); });
    connect(player_, &zv::VideoPlayer::frameFailed, this,
            [this](const QString &text) { playerFrameFailed(text); });
    connect(player_, &zv::VideoPlayer::playbackStopped, this, [this] { ReleasePlayButtons(); });
}

void TShowVideoForm::playerFileChanged() {
    const int32_t count = player_->count();
    lbSIzevideo->setText(QString::number(player_->fileSize()));
    lbFrameCount->setText(QString::number(count));
    {
        // A file without frames keeps the range 0..0 and a disabled slider.
        const QSignalBlocker quiet(RxSlider1);
        RxSlider1->setMaximum(player_->maximum());
        RxSlider1->setValue(player_->position());
    }
    RxSlider1->setEnabled(count > 1);
    lbFRNum->setText(QString::number(int64_t{player_->shownIndex()} + 1) + QLatin1Char('/') +
                     lbFrameCount->text());
    // A shown list follows the recording; one that holds only its error row stays as it is.
    if (gbFrames->isVisibleTo(this) && player_->reader())
        frameModel_->updateFrameRows(count);
}

void TShowVideoForm::playerPositionChanged(int32_t position) {
    clearOutline();  // a hit's outline stays until the next step
    const QSignalBlocker quiet(RxSlider1);
    RxSlider1->setValue(position);
}

void TShowVideoForm::playerFrameShown(int32_t index) {
    if (index < 0) {
        LbFrSize->clear();
        lbFrData->clear();
        lbFRNum->setText(QStringLiteral("0/") + lbFrameCount->text());
        picture_ = QImage();
    } else {
        const TZVFFrameEntry &entry = player_->shownEntry();
        LbFrSize->setText(QString::number(entry.Size));
        lbFrData->setText(zv::dateTimeText(entry.DateTime));
        lbFRNum->setText(QString::number(int64_t{index} + 1) + QLatin1Char('/') +
                         lbFrameCount->text());
        // Transparent pixels are all zero, so the bitmap is valid premultiplied ARGB: the format
        // that scales onto the window fastest.
        const zv::GifImage &image = player_->picture();
        picture_ = image.empty() ? QImage()
                                 : QImage(reinterpret_cast<const uchar *>(image.pixels()),
                                          image.width(), image.height(), image.width() * 4,
                                          QImage::Format_ARGB32_Premultiplied);
    }
    if (!inPaint_) {  // a paint under way draws the picture itself
        freshFrame_ = index >= 0;
        pb->update();
    }
}

void TShowVideoForm::playerFrameFailed(const QString &text) {
    // Never while a box about a frame is already up: playback goes on ticking behind it.
    if (reporting_)
        return;
    reporting_ = true;
    auto show = [this, text] {
        zv::showMessage(text.toStdString());
        reporting_ = false;
    };
    if (inPaint_)
        QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);  // no modal box inside a paint
    else
        show();
}

void TShowVideoForm::showSliderTime(int value) {
    TZVFFrameEntry entry;
    if (player_->readEntry(value, entry))
        QToolTip::showText(QCursor::pos(), zv::dateTimeText(entry.DateTime), RxSlider1);
}

// ---- Opening ---------------------------------------------------------------------------------

void TShowVideoForm::ShowVideoFile(const std::string &fileName) {
    if (!OpenVideoFile(fileName))
        return;
    exec();
}

bool TShowVideoForm::OpenVideoFile(const std::string &fileName) {
    if (!zv::fileExists(fileName))
        return false;
    openReader(fileName);
    placement_->restore();
    // Full-window mode is not kept between showings; a placement stored in it opens normal.
    if (windowState() & Qt::WindowFullScreen)
        setWindowState(windowState() & ~Qt::WindowFullScreen);
    return true;
}

void TShowVideoForm::openReader(const std::string &fileName) {
    frameModel_->setSource(nullptr);
    closeTextSearch();
    player_->open(fileName);
    textSearch_->open(zv::nativeFilePath(fileName));
    setWindowTitle(kCaption + QString::fromStdString(fileName));
    edGoTime->setDateTime(zv::toQDateTime(player_->shownEntry().DateTime));
}

void TShowVideoForm::showNoFile() {
    frameModel_->setSource(nullptr);
    closeTextSearch();
    player_->close();
    player_->showNothing();
    playerFileChanged();
    setWindowTitle(kCaption);
}

void TShowVideoForm::sbOpenClick() {
    guarded([this] {
        const std::optional<QString> chosen = chooser_ ? chooser_() : runOpenDialog();
        if (!chosen || chosen->isEmpty())
            return;
        // The operator's name of the choice: "C:\…" for a file on a mapped drive.
        const std::string fileName = zv::operatorPath(chosen->toStdString());
        if (!zv::fileExists(fileName))
            return;
        player_->pause();
        ReleasePlayButtons();
        // Rows of the previous file would point past the new file's frames: a shown list is
        // filled again, from the new file or (when it cannot be opened) from none.
        auto relist = [this] {
            if (gbFrames->isVisibleTo(this))
                sbFramesClick();
        };
        try {
            openReader(fileName);
        } catch (...) {
            showNoFile();
            relist();
            throw;
        }
        relist();
    });
}

std::optional<QString> TShowVideoForm::runOpenDialog() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);  // a name that does not exist may be typed
    dialog.setDefaultSuffix(QStringLiteral("zvf"));
    dialog.setNameFilter(QStringLiteral("ЗОРВАН видео файл (*.zvf)"));
    dialog.selectFile(QString());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void TShowVideoForm::setFileChooser(FileChooser chooser) {
    chooser_ = std::move(chooser);
}

// ---- Showing frames --------------------------------------------------------------------------

void TShowVideoForm::RxSlider1Change() {
    guarded([this] { player_->setPosition(RxSlider1->value()); });
}

void TShowVideoForm::ShowFrame(int32_t index) {
    guarded([this, index] { player_->showFrame(index); });
}

void TShowVideoForm::FormPaint(QPainter &painter) {
    if (!freshFrame_) {
        inPaint_ = true;
        player_->showFrame(player_->position());
        inPaint_ = false;
    }
    freshFrame_ = false;
    // The picture covers the whole box, stretched; without one the box shows the window colour.
    // It replaces what the box held, so a transparent part is black, not the previous frame.
    if (picture_.isNull()) {
        painter.fillRect(pb->rect(), palette().window());
    } else {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(pb->rect(), picture_);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        paintOutline(painter);
    }
}

// ---- Frame list ------------------------------------------------------------------------------

void TShowVideoForm::sbFramesClick() {
    guarded([this] {
        gbFrames->setVisible(sbFrames->isChecked());
        player_->setHeld(gbFrames->isVisibleTo(this));
        ClearingList = true;
        frameModel_->clear();
        ClearingList = false;
        if (gbFrames->isVisibleTo(this))
            fillFrameList();
    });
}

void TShowVideoForm::fillFrameList() {
    // Rows are read when the view shows them, so the fill itself cannot be interrupted by events
    // (closing, another click) and ends at once; what it checks is that the index can be read.
    int32_t rows = 0;
    bool ok = false;
    if (const TZVFFormat *reader = player_->reader()) {
        const int32_t count = player_->count();
        const int32_t probe = std::min(count, zv::FrameListModel::kBlockRows);
        rows = static_cast<int32_t>(reader->ReadFrameEntries(0, probe).size());
        ok = rows == probe;
        if (ok)
            rows = count;
        frameModel_->setSource(reader);
    }
    frameModel_->setFrameRows(rows);
    if (ok)
        return;
    frameModel_->appendErrorRow();
    clock_.sleepMs(kFillErrorPauseMs);
    gbFrames->hide();
    sbFrames->setChecked(false);
    player_->setHeld(false);
}

void TShowVideoForm::lvFramesChanging(int row) {
    if (ClearingList || !frameModel_->isFrameRow(row))
        return;
    ShowFrame(row);
}

// ---- Playback --------------------------------------------------------------------------------

void TShowVideoForm::ReleasePlayButtons() {
    sbPlay->setChecked(false);
    sbPlay2x->setChecked(false);
    sbPlay3x->setChecked(false);
}

void TShowVideoForm::playClicked(QToolButton *button, int interval) {
    // One group in which all may be up: a button put down puts the others up.
    if (button->isChecked()) {
        for (QToolButton *other : {sbPlay, sbPlay2x, sbPlay3x})
            if (other != button)
                other->setChecked(false);
    }
    guarded([this, interval] { player_->play(interval); });
}

void TShowVideoForm::sbPlayClick() {
    playClicked(sbPlay, kPlayInterval);
}
void TShowVideoForm::sbPlay2xClick() {
    playClicked(sbPlay2x, kPlay2xInterval);
}
void TShowVideoForm::sbPlay3xClick() {
    playClicked(sbPlay3x, kPlay3xInterval);
}

void TShowVideoForm::sbPauseClick() {
    player_->pause();
    ReleasePlayButtons();
}

void TShowVideoForm::sbStopClick() {
    ReleasePlayButtons();
    guarded([this] { player_->stop(); });
}

void TShowVideoForm::sbFirstClick() {
    guarded([this] { player_->setPosition(0); });
}

void TShowVideoForm::sbLastClick() {
    guarded([this] { player_->setPosition(player_->maximum()); });
}

void TShowVideoForm::Timer1Timer() {
    guarded([this] { player_->tick(); });
}

// ---- Going to a time -------------------------------------------------------------------------

void TShowVideoForm::goToTimeField() {
    if (fullWindow_)
        setFullWindow(false);  // the field is on the panel
    if (player_->shownIndex() >= 0)
        edGoTime->setDateTime(zv::toQDateTime(player_->shownEntry().DateTime));
    edGoTime->setFocus(Qt::ShortcutFocusReason);
    edGoTime->setSelectedSection(QDateTimeEdit::DaySection);
}

void TShowVideoForm::sbGoTimeClick() {
    guarded([this] { player_->goToTime(zv::fromQDateTime(edGoTime->dateTime())); });
}

// ---- Text search ---------------------------------------------------------------------------

void TShowVideoForm::bindTextSearch() {
    textRefresh_ = new QTimer(this);
    textRefresh_->setSingleShot(true);
    textRefresh_->setInterval(kTextRefreshMs);
    connect(textRefresh_, &QTimer::timeout, this, [this] {
        if (findRowShown_)
            textSearch_->refresh();
    });
    connect(textSearch_, &zv::TextSearch::statusChanged, this, [this] {
        showTextIndexStatus();
        if (findRowShown_ && !textSearch_->query().isEmpty() && !textRefresh_->isActive())
            textRefresh_->start();
    });
    connect(textSearch_, &zv::TextSearch::searchFinished, this, [this] { textSearchFinished(); });
}

void TShowVideoForm::acFindTextExecute() {
    guarded([this] { setFindRowShown(!findRowShown_); });
}

void TShowVideoForm::sbFindTextClick() {
    guarded([this] {
        if (!textSearch_->search(edFindText->text()))
            return;
        searchResult_ = QStringLiteral("Поиск…");
        showTextIndexStatus();
    });
}

void TShowVideoForm::textSearchFinished() {
    const std::vector<zv::TextHitRow> &hits = textSearch_->hits();
    // A search made again as the index grew keeps the hit chosen, without going to it again.
    const int chosen = lvTextHits->currentRow();
    const int64_t chosenId =
        chosen >= 0 ? lvTextHits->item(chosen, 0)->data(Qt::UserRole).toLongLong() : -1;
    const QSignalBlocker quiet(lvTextHits);  // filling chooses nothing
    lvTextHits->clearContents();
    lvTextHits->setRowCount(static_cast<int>(hits.size()));
    lvTextHits->setCurrentCell(-1, -1);
    for (int row = 0; row < lvTextHits->rowCount(); ++row) {
        const zv::TextHitRow &hit = hits[static_cast<size_t>(row)];
        auto *time = new QTableWidgetItem(zv::textHitTime(hit));
        time->setData(Qt::UserRole, qlonglong{hit.hit.id});
        lvTextHits->setItem(row, 0, time);
        lvTextHits->setItem(row, 1, new QTableWidgetItem(zv::textHitLine(hit)));
        if (hit.hit.id == chosenId)
            lvTextHits->setCurrentCell(row, 0);
    }
    searchResult_ = zv::textSearchResultText(hits.size(), textSearch_->hitsCapped(),
                                             textSearch_->searchFailure());
    showTextIndexStatus();
}

void TShowVideoForm::showTextIndexStatus() {
    QString text = zv::textIndexStatusText(textSearch_->status());
    if (!searchResult_.isEmpty())
        text = text.isEmpty() ? searchResult_ : searchResult_ + QStringLiteral(". ") + text;
    textIndexLine_ = text;
    showTextIndexLine();
}

void TShowVideoForm::showTextIndexLine() {
    // A long reason is cut to the row's width; its hint holds it whole.
    lbTextIndex->setText(lbTextIndex->fontMetrics().elidedText(textIndexLine_, Qt::ElideRight,
                                                               lbTextIndex->width()));
    lbTextIndex->setToolTip(
        textIndexLine_.isEmpty()
            ? QStringLiteral("Сколько кадров записи прочитано для поиска текста")
            : textIndexLine_);
}

void TShowVideoForm::lvTextHitsChoose(int row) {
    guarded([this, row] {
        const std::vector<zv::TextHitRow> &hits = textSearch_->hits();
        if (row < 0 || static_cast<size_t>(row) >= hits.size())
            return;
        const zv::TextHit &hit = hits[static_cast<size_t>(row)].hit;
        player_->pause();
        ReleasePlayButtons();
        player_->setPosition(hit.firstFrame);  // clears the outline of the hit before
        if (player_->position() != hit.firstFrame)
            return;  // the recording no longer holds the frame
        outlineFrame_ = hit.firstFrame;
        outlineBox_ = hit.box;
        pb->update();
    });
}

void TShowVideoForm::closeTextSearch() {
    textSearch_->close();
    clearOutline();
    // The hits were the file's; the text typed stays for the next.
    lvTextHits->setRowCount(0);
    searchResult_.clear();
    showTextIndexStatus();
}

void TShowVideoForm::clearOutline() {
    if (outlineFrame_ < 0)
        return;
    outlineFrame_ = -1;
    pb->update();
}

void TShowVideoForm::paintOutline(QPainter &painter) {
    if (outlineFrame_ < 0 || player_->shownIndex() != outlineFrame_ || picture_.isNull())
        return;
    // The box in frame pixels, on the picture stretched over the box, grown so that the line
    // stands around the text, not on it.
    const double sx = double(pb->width()) / picture_.width();
    const double sy = double(pb->height()) / picture_.height();
    const QRectF box(outlineBox_.x * sx, outlineBox_.y * sy, outlineBox_.width * sx,
                     outlineBox_.height * sy);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(255, 0, 0), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(-3, -3, 3, 3));
}

// ---- Window ----------------------------------------------------------------------------------

void TShowVideoForm::pbDblClick() {
    guarded([this] { setFullWindow(!fullWindow_); });
}

void TShowVideoForm::setFullWindow(bool on) {
    // Full-screen state gives the window no border and the whole screen. Changing the border flag
    // instead would re-create the native window, and the hide that goes with it ends a modal loop.
    if (on == fullWindow_)
        return;
    fullWindow_ = on;
    MainPanel->setVisible(!on);
    if (on) {
        // The window manager may report the full-screen size at any time after this: the normal
        // placement is taken now, before the state changes.
        normalPlacement_ = saveGeometry();
        setWindowState(windowState() | Qt::WindowFullScreen);
    } else {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        restoreGeometry(normalPlacement_);
    }
}

void TShowVideoForm::keyPressEvent(QKeyEvent *event) {
    // Esc leaves full-window mode; the button it presses otherwise is hidden in that mode.
    if (fullWindow_ && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        guarded([this] { setFullWindow(false); });
        event->accept();
        return;
    }
    // Esc closes the text search row first; the window itself with the next one.
    if (findRowShown_ && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        guarded([this] { setFindRowShown(false); });
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TShowVideoForm::savePlacement() {
    // In full-window mode the window's own geometry is the screen's: keep the normal one.
    placement_->save(fullWindow_ ? normalPlacement_ : saveGeometry());
}

void TShowVideoForm::FormClose() {
    closeTextSearch();  // cancels the background indexing: at most a region in flight
    sbStop->click();
    sbFrames->setChecked(false);
    sbFramesClick();
    frameModel_->setSource(nullptr);
    player_->close();
}

void TShowVideoForm::done(int result) {
    guarded([this] {
        setFindRowShown(false);  // the placement kept is the window's without the row
        savePlacement();
        // The next showing starts with a border and the panel.
        setFullWindow(false);
        FormClose();
    });
    QDialog::done(result);
}
