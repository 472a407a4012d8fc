#include "viewer/ShowVideoUnit.h"

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <utility>

#include "container/ZVFformatUnit.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "viewer/DateTimeText.h"
#include "viewer/FrameListModel.h"
#include "viewer/ViewerIcons.h"
#include "widgets/FormPlacement.h"

namespace {

const QString kCaption = QStringLiteral("Просмотр видеофайла: ");
const char kFrameErrorPrefix[] = "Ошибка получения данных из файла видео:\r";

// Design sizes of the window, in pixels.
constexpr int kClientWidth = 492;
constexpr int kClientHeight = 420;
// The design limit of 500 x 400 counts the window's frame; this is the client area within it.
constexpr int kMinClientWidth = 492;
constexpr int kMinClientHeight = 373;
constexpr int kPanelHeight = 76;
constexpr int kListWidth = 185;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
// Gaps between the right edge of the panel and the controls anchored to it.
constexpr int kSliderRightGap = kClientWidth - (168 + 251);
constexpr int kFrameNumberRightGap = kClientWidth - (417 + 71);
constexpr int kCloseRightGap = kClientWidth - (408 + 79);
constexpr int kDateLeft = 269;  // left edge of lbFrData
constexpr int kFillErrorPauseMs = 500;
constexpr int kPlaybackSleepMs = 5;

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int left, int top,
                  int width = -1) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    const int height = label->sizeHint().height();
    label->setGeometry(left, top, width > 0 ? width : label->sizeHint().width(), height);
    return label;
}

QToolButton *makeSpeedButton(QWidget *parent, const char *name, zv::ViewerIcon icon,
                             const QString &hint, int left, bool toggle) {
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    button->setIcon(zv::viewerIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(hint);
    button->setCheckable(toggle);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(left, 25, kButtonWidth, kButtonHeight);
    return button;
}

}  // namespace

// The picture area: paints through the form's paint handler and reports double clicks.
class TShowVideoForm::PaintBox : public QWidget {
public:
    explicit PaintBox(TShowVideoForm *form) : QWidget(form), form_(form) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        form_->FormPaint(painter);
    }
    void mouseDoubleClickEvent(QMouseEvent *event) override {
        if (event->button() == Qt::LeftButton)
            form_->pbDblClick();
    }

private:
    TShowVideoForm *form_;
};

template <class F>
void TShowVideoForm::guarded(F &&body) {
    try {
        body();
    } catch (const std::exception &e) {
        zv::showMessage(e.what());
    } catch (...) {
        zv::showMessage("Неизвестная ошибка");
    }
}

TShowVideoForm::TShowVideoForm(QWidget *parent, zv::Clock &clock) : QDialog(parent), clock_(clock) {
    setObjectName(QStringLiteral("ShowVideoForm"));
    setWindowTitle(kCaption);
    QFont font(QStringLiteral("Tahoma"), 8);
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")});
    setFont(font);
    setSizeGripEnabled(false);
    setMinimumSize(kMinClientWidth, kMinClientHeight);
    resize(kClientWidth, kClientHeight);
    move(0, 0);

    buildControls();
    buildActions();
    placement_ = std::make_unique<zv::FormPlacement>(this, QStringLiteral("TShowVideoForm"));
}

TShowVideoForm::~TShowVideoForm() {
    // The list's rows read through the reader; they must let go of it first.
    frameModel_->setSource(nullptr);
}

void TShowVideoForm::buildControls() {
    pb = new PaintBox(this);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setAttribute(Qt::WA_OpaquePaintEvent);  // every paint covers the whole box

    gbFrames = new QGroupBox(QStringLiteral("Кадры"), this);
    gbFrames->setObjectName(QStringLiteral("gbFrames"));
    gbFrames->setFixedWidth(kListWidth);
    gbFrames->hide();
    // A table view without grid or row numbers looks like a report-style list view and, unlike a
    // tree view, keeps nothing per row: 499,900 rows cost no memory of their own.
    lvFrames = new QTableView(gbFrames);
    lvFrames->setObjectName(QStringLiteral("lvFrames"));
    frameModel_ = new zv::FrameListModel(lvFrames);
    lvFrames->setModel(frameModel_);
    lvFrames->setShowGrid(false);
    lvFrames->setWordWrap(false);
    lvFrames->verticalHeader()->hide();
    lvFrames->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvFrames->verticalHeader()->setMinimumSectionSize(1);
    lvFrames->verticalHeader()->setDefaultSectionSize(lvFrames->fontMetrics().height() + 1);
    lvFrames->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvFrames->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvFrames->setSelectionMode(QAbstractItemView::SingleSelection);
    lvFrames->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvFrames->horizontalHeader()->setHighlightSections(false);
    lvFrames->horizontalHeader()->setStretchLastSection(false);
    lvFrames->horizontalHeader()->setSectionsMovable(false);
    lvFrames->setColumnWidth(0, 40);
    lvFrames->setColumnWidth(1, 120);
    auto *listLayout = new QVBoxLayout(gbFrames);
    listLayout->setContentsMargins(2, 2, 2, 2);
    listLayout->addWidget(lvFrames);
    connect(lvFrames->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    lvFramesChanging(current.row());
            });

    MainPanel = new QWidget(this);
    MainPanel->setObjectName(QStringLiteral("MainPanel"));
    MainPanel->setFixedHeight(kPanelHeight);
    MainPanel->installEventFilter(this);

    auto *top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    top->addWidget(gbFrames);
    top->addWidget(pb, 1);
    auto *whole = new QVBoxLayout(this);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->setSpacing(0);
    whole->addLayout(top, 1);
    whole->addWidget(MainPanel);

    QWidget *panel = MainPanel;
    sbFrames = new QToolButton(panel);
    sbFrames->setObjectName(QStringLiteral("sbFrames"));
    sbFrames->setText(QStringLiteral("Список кадров"));
    sbFrames->setCheckable(true);
    sbFrames->setFocusPolicy(Qt::NoFocus);
    sbFrames->setGeometry(2, 2, 127, 17);
    connect(sbFrames, &QToolButton::clicked, this, [this] { sbFramesClick(); });

    Label1 = makeLabel(panel, "Label1", QStringLiteral("Размер:"), 8, 18);
    lbSIzevideo = makeLabel(panel, "lbSIzevideo", QStringLiteral("0 байт"), 56, 18, 110);
    Label2 = makeLabel(panel, "Label2", QStringLiteral("Кадров:"), 8, 31);
    lbFrameCount = makeLabel(panel, "lbFrameCount", QStringLiteral("0"), 56, 31, 110);

    RxSlider1 = new QSlider(Qt::Horizontal, panel);
    RxSlider1->setObjectName(QStringLiteral("RxSlider1"));
    RxSlider1->setGeometry(168, 1, 251, 24);
    RxSlider1->setRange(0, 0);
    RxSlider1->setSingleStep(1);
    RxSlider1->setPageStep(1);
    RxSlider1->setTickPosition(QSlider::NoTicks);
    RxSlider1->setFocusPolicy(Qt::NoFocus);
    RxSlider1->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { height: 4px; margin: 0 5px; background: #ffffff;"
        " border: 1px solid #808080; border-radius: 1px; }"
        "QSlider::sub-page:horizontal { background: #6a8cc8; margin: 0 5px;"
        " border: 1px solid #808080; }"
        "QSlider::handle:horizontal { width: 10px; margin: -7px -5px; border: 1px solid #404040;"
        " border-radius: 2px; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 #f4f4f4, stop:1 #b8c4d8); }"
        "QSlider::handle:horizontal:disabled { background: #d4d0c8; border-color: #a0a0a0; }"));
    connect(RxSlider1, &QSlider::valueChanged, this, [this] { RxSlider1Change(); });

    lbFRNum = makeLabel(panel, "lbFRNum", QStringLiteral("0/0"), 417, 6, 71);
    lbFRNum->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    using zv::ViewerIcon;
    sbFirst = makeSpeedButton(panel, "sbFirst", ViewerIcon::First,
                              QStringLiteral("К первому кадру"), 174, false);
    sbPlay = makeSpeedButton(panel, "sbPlay", ViewerIcon::Play,
                             QStringLiteral("Показывать кадры по очереди"), 197, true);
    sbPlay2x = makeSpeedButton(panel, "sbPlay2x", ViewerIcon::Play2x,
                               QStringLiteral("Показывать кадры быстро"), 220, true);
    sbPlay3x = makeSpeedButton(panel, "sbPlay3x", ViewerIcon::Play3x,
                               QStringLiteral("Показывать кадры максимально быстро"), 243, true);
    sbPause =
        makeSpeedButton(panel, "sbPause", ViewerIcon::Pause, QStringLiteral("Пауза"), 266, false);
    sbStop = makeSpeedButton(panel, "sbStop", ViewerIcon::Stop,
                             QStringLiteral("Остановить показ кадров"), 289, false);
    sbLast = makeSpeedButton(panel, "sbLast", ViewerIcon::Last,
                             QStringLiteral("К последнему кадру"), 312, false);
    sbOpen = makeSpeedButton(panel, "sbOpen", ViewerIcon::Open,
                             QStringLiteral("Открыть файл с анимацией"), 341, false);
    sbRePlay = makeSpeedButton(panel, "sbRePlay", ViewerIcon::RePlay,
                               QStringLiteral("При окончании начинать с начала"), 370, true);
    connect(sbFirst, &QToolButton::clicked, this, [this] { sbFirstClick(); });
    connect(sbPlay, &QToolButton::clicked, this, [this] { playClicked(sbPlay, kPlayInterval); });
    connect(sbPlay2x, &QToolButton::clicked, this,
            [this] { playClicked(sbPlay2x, kPlay2xInterval); });
    connect(sbPlay3x, &QToolButton::clicked, this,
            [this] { playClicked(sbPlay3x, kPlay3xInterval); });
    connect(sbPause, &QToolButton::clicked, this, [this] { sbPauseClick(); });
    connect(sbStop, &QToolButton::clicked, this, [this] { sbStopClick(); });
    connect(sbLast, &QToolButton::clicked, this, [this] { sbLastClick(); });
    connect(sbOpen, &QToolButton::clicked, this, [this] { sbOpenClick(); });

    QFont bold = font();
    bold.setBold(true);
    const QString currentCaption =
        QStringLiteral("Текущий кадр:     размер                       создан:");
    Label3 = makeLabel(panel, "Label3", currentCaption, 8, 52);
    Label3->setFont(bold);
    Label3->resize(Label3->sizeHint());
    // The two value labels stand in the blanks of Label3, at their design places when the face
    // is as narrow as the design's; a wider face moves them right so that no word is covered.
    const QFontMetrics boldMetrics(bold);
    const int sizeLeft = std::max(
        152, Label3->x() +
                 boldMetrics.horizontalAdvance(QStringLiteral("Текущий кадр:     размер")) + 2);
    const int dateLeft =
        std::max(kDateLeft, Label3->x() + boldMetrics.horizontalAdvance(currentCaption) + 4);
    LbFrSize = makeLabel(panel, "LbFrSize", QString(), sizeLeft, 52, 66);
    LbFrSize->setAlignment(Qt::AlignCenter);
    lbFrData = makeLabel(panel, "lbFrData", QString(), dateLeft, 52, 200);
    lbFrData->setFont(bold);
    QPalette green = lbFrData->palette();
    green.setColor(QPalette::WindowText, QColor(0, 0x80, 0));
    lbFrData->setPalette(green);
    LbFrSize->raise();
    lbFrData->raise();

    BitBtn1 = new QPushButton(QStringLiteral("Закрыть"), panel);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(408, 36, 79, 25);
    BitBtn1->setAutoDefault(false);
    BitBtn1->setDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer1->setTimerType(Qt::PreciseTimer);  // a 10 ms interval must stay 10 ms
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TShowVideoForm::buildActions() {
    auto action = [this](const char *name, QList<QKeySequence> keys, auto handler) {
        auto *a = new QAction(this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, [this, handler] { guarded(handler); });
        addAction(a);
        return a;
    };
    acLeft = action("acLeft", {QKeySequence(Qt::Key_Left)}, [this] { moveBy(-1); });
    acRight = action("acRight", {QKeySequence(Qt::Key_Right)}, [this] { moveBy(1); });
    AcPgUp = action("AcPgUp", {QKeySequence(Qt::Key_PageUp)}, [this] { moveBy(-10); });
    AcPgDn = action("AcPgDn", {QKeySequence(Qt::Key_PageDown)}, [this] { moveBy(10); });
    AcSpace = action("AcSpace", {QKeySequence(Qt::Key_Space)}, [this] {
        if (Timer1->isActive())
            Timer1->stop();
        else
            Timer1->start();
    });
    acPlus = action(
        "acPlus", {QKeySequence(Qt::KeypadModifier | Qt::Key_Plus), QKeySequence(Qt::Key_Plus)},
        [this] {
            // The interval 0 would stop the ticks; the fastest speed is the floor.
            Timer1->setInterval(std::max(Timer1->interval() - kIntervalStep, kMinInterval));
        });
    acMinus = action("acMinus", {QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)}, [this] {
        Timer1->setInterval(std::min(Timer1->interval() + kIntervalStep, kMaxInterval));
    });
}

bool TShowVideoForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == MainPanel && event->type() == QEvent::Resize)
        placePanelControls();
    return QDialog::eventFilter(watched, event);
}

void TShowVideoForm::placePanelControls() {
    const int width = MainPanel->width();
    RxSlider1->setGeometry(168, 1, std::max(width - kSliderRightGap - 168, 0), 24);
    lbFRNum->move(width - kFrameNumberRightGap - lbFRNum->width(), 6);
    BitBtn1->move(width - kCloseRightGap - BitBtn1->width(), 36);
}

// ---- Opening -----------------------------------------------------------------------------------

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
    return true;
}

void TShowVideoForm::openReader(const std::string &fileName) {
    releaseReader();
    VideoFile = std::make_unique<TZVFFormat>(fileName);
    reportedIndex_ = -1;
    lbSIzevideo->setText(QString::number(VideoFile->FileSize()));
    const int32_t count = VideoFile->FrameCount();
    lbFrameCount->setText(QString::number(count));
    const int before = RxSlider1->value();
    // Position first: a maximum set first could clamp the old position and show that frame too.
    // A file without frames keeps the range 0..0 and a disabled slider; no frame is read.
    RxSlider1->setValue(0);
    RxSlider1->setMaximum(std::max(count - 1, 0));
    RxSlider1->setEnabled(count > 1);
    setWindowTitle(kCaption + QString::fromStdString(fileName));
    if (count <= 0)
        showNoFrame();
    else if (before == RxSlider1->value())
        pb->update();  // the position did not change: the next paint draws the new file's frame
}

void TShowVideoForm::releaseReader() {
    frameModel_->setSource(nullptr);
    VideoFile.reset();
}

void TShowVideoForm::showNoFile() {
    releaseReader();
    lbSIzevideo->setText(QStringLiteral("0"));
    lbFrameCount->setText(QStringLiteral("0"));
    RxSlider1->setMaximum(0);
    RxSlider1->setEnabled(false);
    setWindowTitle(kCaption);
    showNoFrame();
}

void TShowVideoForm::sbOpenClick() {
    guarded([this] {
        const std::optional<QString> chosen = chooser_ ? chooser_() : runOpenDialog();
        if (!chosen || chosen->isEmpty())
            return;
        const std::string fileName = chosen->toStdString();
        if (!zv::fileExists(fileName))
            return;
        Timer1->stop();
        ReleasePlayButtons();
        releaseReader();
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

// ---- Showing frames ----------------------------------------------------------------------------

void TShowVideoForm::RxSlider1Change() {
    guarded([this] { ShowFrame(RxSlider1->value()); });
}

void TShowVideoForm::ShowFrame(int32_t index) {
    loadFrame(index);
    freshFrame_ = true;
    pb->update();
}

void TShowVideoForm::FormPaint(QPainter &painter) {
    if (!freshFrame_) {
        inPaint_ = true;
        loadFrame(RxSlider1->value());
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
    }
}

void TShowVideoForm::loadFrame(int32_t index) {
    if (!VideoFile)
        return;  // nothing may be read without a reader
    try {
        if (index < 0 || index >= VideoFile->FrameCount()) {
            showNoFrame();
            return;
        }
        TZVFFrameEntry entry;
        VideoFile->ReadFrameEntry(index, entry);
        LbFrSize->setText(QString::number(entry.Size));
        lbFrData->setText(zv::dateTimeText(entry.DateTime));
        lbFRNum->setText(QString::number(int64_t{index} + 1) + QLatin1Char('/') +
                         lbFrameCount->text());

        std::string failure;
        bool loaded;
        {
            // The reader reports a bad frame itself; the window decides whether and when the
            // operator sees it.
            zv::ScopedMessageHandler capture([&failure](const std::string &text, zv::MessageKind) {
                if (failure.empty())
                    failure = text;
            });
            loaded = VideoFile->LoadFrame(index, scratch_);
        }
        if (!loaded) {
            reportFrameError(index, failure.empty() ? std::string(kFrameErrorPrefix) : failure);
            return;
        }
        std::swap(frame_, scratch_);
        // Transparent pixels are all zero, so the bitmap is valid premultiplied ARGB: the format
        // that scales onto the window fastest.
        picture_ = QImage(reinterpret_cast<const uchar *>(frame_.pixels()), frame_.width(),
                          frame_.height(), frame_.width() * 4, QImage::Format_ARGB32_Premultiplied);
        reportedIndex_ = -1;
    } catch (const std::exception &e) {
        reportFrameError(index, kFrameErrorPrefix + std::string(e.what()));
    }
}

void TShowVideoForm::reportFrameError(int32_t index, const std::string &text) {
    // Paints repeat the read of the position on screen; its failure is told once, and never
    // while a box about a frame is already up (playback goes on ticking behind a modal box).
    if (index == reportedIndex_ || reporting_)
        return;
    reportedIndex_ = index;
    reporting_ = true;
    auto show = [this, text] {
        zv::showMessage(text);
        reporting_ = false;
    };
    if (inPaint_)
        QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);  // no modal box inside a paint
    else
        show();
}

void TShowVideoForm::clearPicture() {
    if (picture_.isNull())
        return;
    frame_.clear();
    picture_ = QImage();
    if (!inPaint_)
        pb->update();  // a paint under way draws the empty box itself
}

void TShowVideoForm::showNoFrame() {
    clearPicture();
    LbFrSize->clear();
    lbFrData->clear();
    lbFRNum->setText(QStringLiteral("0/") + lbFrameCount->text());
}

// ---- Frame list --------------------------------------------------------------------------------

void TShowVideoForm::sbFramesClick() {
    guarded([this] {
        gbFrames->setVisible(sbFrames->isChecked());
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
    if (VideoFile) {
        const int32_t count = VideoFile->FrameCount();
        const int32_t probe = std::min(count, zv::FrameListModel::kBlockRows);
        rows = static_cast<int32_t>(VideoFile->ReadFrameEntries(0, probe).size());
        ok = rows == probe;
        if (ok)
            rows = count;
        frameModel_->setSource(VideoFile.get());
    }
    frameModel_->setFrameRows(rows);
    if (ok)
        return;
    frameModel_->appendErrorRow();
    clock_.sleepMs(kFillErrorPauseMs);
    gbFrames->hide();
    sbFrames->setChecked(false);
}

void TShowVideoForm::lvFramesChanging(int row) {
    if (ClearingList || !frameModel_->isFrameRow(row))
        return;
    guarded([this, row] { ShowFrame(row); });
}

// ---- Playback ----------------------------------------------------------------------------------

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
    Timer1->setInterval(interval);
    Timer1->start();
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
    Timer1->stop();
    ReleasePlayButtons();
}

void TShowVideoForm::sbStopClick() {
    Timer1->stop();
    ReleasePlayButtons();
    RxSlider1->setValue(0);
}

void TShowVideoForm::sbFirstClick() {
    RxSlider1->setValue(0);
}

void TShowVideoForm::sbLastClick() {
    RxSlider1->setValue(RxSlider1->maximum());
}

void TShowVideoForm::moveBy(int delta) {
    RxSlider1->setValue(RxSlider1->value() + delta);
    MainPanel->repaint();
}

void TShowVideoForm::Timer1Timer() {
    guarded([this] {
        if (gbFrames->isVisibleTo(this)) {
            Timer1->stop();
            ReleasePlayButtons();
            return;
        }
        RxSlider1->setValue(RxSlider1->value() + 1);
        if (RxSlider1->value() == RxSlider1->maximum()) {
            if (sbRePlay->isChecked()) {
                RxSlider1->setValue(0);
            } else {
                Timer1->stop();
                ReleasePlayButtons();
            }
        }
        clock_.sleepMs(kPlaybackSleepMs);
    });
}

// ---- Window ------------------------------------------------------------------------------------

void TShowVideoForm::pbDblClick() {
    guarded([this] { setFullWindow(!fullWindow_); });
}

void TShowVideoForm::setFullWindow(bool on) {
    // Full-screen state gives the window no border and the whole screen. Changing the border flag
    // instead would re-create the native window, and the hide that goes with it ends a modal loop.
    fullWindow_ = on;
    MainPanel->setVisible(!on);
    if (on)
        setWindowState(Qt::WindowFullScreen);
    else
        setWindowState(Qt::WindowNoState);
}

void TShowVideoForm::FormClose() {
    sbStop->click();
    sbFrames->setChecked(false);
    sbFramesClick();
    releaseReader();
}

void TShowVideoForm::done(int result) {
    guarded([this] {
        // The next showing starts with a border and the panel: keep the normal placement.
        if (fullWindow_)
            setFullWindow(false);
        placement_->save();
        FormClose();
    });
    QDialog::done(result);
}
