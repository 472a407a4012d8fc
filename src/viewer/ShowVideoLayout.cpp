// The viewer window's controls: where they stand, how they look, and what they are bound to.
#include <QAction>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/DateTimeText.h"
#include "viewer/FrameListModel.h"
#include "viewer/ShowVideoUnit.h"
#include "viewer/VideoPlayer.h"
#include "viewer/ViewerIcons.h"
#include "widgets/KeypadKeys.h"

namespace {

// Design sizes, in pixels. The panel is taller than the design's 76 px by the row that goes to
// a date-time; every control of the design keeps its place within it.
constexpr int kClientWidth = 492;
constexpr int kPanelHeight = 98;
constexpr int kGoTimeTop = 71;
// The text search row (Ctrl+F) opens below the go-to-time row and makes the panel and the window
// taller by its height: the text and its button, a line about the index, and the hits.
constexpr int kFindRowHeight = 146;
constexpr int kFindHitsTop = 44;
constexpr int kFindHitsHeight = 98;
constexpr int kHitTimeWidth = 130;
constexpr int kListWidth = 185;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
// Gaps between the right edge of the panel and the controls anchored to it.
constexpr int kSliderRightGap = kClientWidth - (168 + 251);
constexpr int kFrameNumberRightGap = kClientWidth - (417 + 71);
constexpr int kCloseRightGap = kClientWidth - (408 + 79);
constexpr int kSizeLeft = 152;  // left edge of LbFrSize
constexpr int kDateLeft = 269;  // left edge of lbFrData
// The activity strip: a thin band along the lower edge of the slider, below its groove.
constexpr int kActivityTop = 22;
constexpr int kActivityHeight = 3;
const QColor kActivityColour(0xe0, 0x60, 0x00);

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

// A report-style list: Home and End go to the first and the last row (a table would stay in the
// row and move between its two columns).
class FrameListView : public QTableView {
public:
    using QTableView::QTableView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
        if (action != MoveHome && action != MoveEnd)
            return QTableView::moveCursor(action, modifiers);
        const int rows = model() ? model()->rowCount() : 0;
        if (rows == 0)
            return {};
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        return model()->index(action == MoveHome ? 0 : rows - 1, column);
    }
};

const char kSliderStyle[] =
    "QSlider::groove:horizontal { height: 4px; margin: 0 5px; background: #ffffff;"
    " border: 1px solid #808080; border-radius: 1px; }"
    "QSlider::sub-page:horizontal { background: #6a8cc8; margin: 0 5px;"
    " border: 1px solid #808080; }"
    "QSlider::handle:horizontal { width: 10px; margin: -7px -5px; border: 1px solid #404040;"
    " border-radius: 2px; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
    " stop:0 #f4f4f4, stop:1 #b8c4d8); }"
    "QSlider::handle:horizontal:disabled { background: #d4d0c8; border-color: #a0a0a0; }";

// The horizontal span, in the slider's pixels, over which the centre of its handle runs from the
// minimum to the maximum: where the strip under it draws the first and the last frame.
std::pair<int, int> handleSpan(const QSlider *slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = 1000;
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    auto centreAt = [&](int value) {
        option.sliderPosition = value;
        option.sliderValue = value;
        return slider->style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
            .center()
            .x();
    };
    return {centreAt(0), centreAt(1000)};
}

}  // namespace

// The activity strip under the slider: a bar in each column where the recording's sizes
// changed (zvf::SizeActivity), nothing where the screen stood still. It lies under the slider's
// lower edge and lets the pointer through to it.
class TShowVideoForm::ActivityStrip : public QWidget {
public:
    ActivityStrip(QWidget *parent, const zv::VideoPlayer &player, const QSlider *slider)
        : QWidget(parent), player_(player), slider_(slider) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        const int32_t count = player_.activity().frames();
        if (count < 2)
            return;
        const auto [left, right] = handleSpan(slider_);
        const int columns = right - left + 1;
        if (columns <= 0)
            return;
        const std::vector<uint8_t> active = player_.activity().columns(columns, 0, count - 1);
        QPainter painter(this);
        const int origin = slider_->x() - x() + left;
        for (int c = 0; c < columns;) {
            if (!active[static_cast<size_t>(c)]) {
                ++c;
                continue;
            }
            int end = c + 1;
            while (end < columns && active[static_cast<size_t>(end)])
                ++end;
            painter.fillRect(origin + c, 0, end - c, height(), kActivityColour);
            c = end;
        }
    }

private:
    const zv::VideoPlayer &player_;
    const QSlider *slider_;
};

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

void TShowVideoForm::buildControls() {
    pb = new PaintBox(this);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setAttribute(Qt::WA_OpaquePaintEvent);  // every paint covers the whole box
    buildFrameList();
    buildPanel();

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
}

void TShowVideoForm::buildFrameList() {
    gbFrames = new QGroupBox(QStringLiteral("Кадры"), this);
    gbFrames->setObjectName(QStringLiteral("gbFrames"));
    gbFrames->setFixedWidth(kListWidth);
    gbFrames->hide();
    // A table view without grid or row numbers looks like a report-style list view and, unlike a
    // tree view, keeps nothing per row: 499,900 rows cost no memory of their own.
    lvFrames = new FrameListView(gbFrames);
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
    lvFrames->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QHeaderView *header = lvFrames->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(1);
    lvFrames->setColumnWidth(0, 40);
    lvFrames->setColumnWidth(1, 120);
    // "Время" takes the rest of the narrow list, so no column is cut off behind a scroll bar.
    header->setStretchLastSection(true);
    auto *listLayout = new QVBoxLayout(gbFrames);
    listLayout->setContentsMargins(2, 2, 2, 2);
    listLayout->addWidget(lvFrames);
}

void TShowVideoForm::buildPanel() {
    MainPanel = new QWidget(this);
    MainPanel->setObjectName(QStringLiteral("MainPanel"));
    MainPanel->setFixedHeight(kPanelHeight);
    MainPanel->installEventFilter(this);
    QWidget *panel = MainPanel;

    sbFrames = new QToolButton(panel);
    sbFrames->setObjectName(QStringLiteral("sbFrames"));
    sbFrames->setText(QStringLiteral("Список кадров"));
    sbFrames->setCheckable(true);
    sbFrames->setFocusPolicy(Qt::NoFocus);
    sbFrames->setGeometry(2, 2, 127, 17);

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
    RxSlider1->setStyleSheet(QString::fromLatin1(kSliderStyle));

    lbFRNum = makeLabel(panel, "lbFRNum", QStringLiteral("0/0"), 417, 6, 71);
    lbFRNum->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    pbActivity = new ActivityStrip(panel, *player_, RxSlider1);
    pbActivity->setObjectName(QStringLiteral("pbActivity"));
    pbActivity->setGeometry(168, kActivityTop, 251, kActivityHeight);
    pbActivity->stackUnder(RxSlider1);

    buildPanelButtons(panel);
    buildFrameLabels(panel);
    buildGoTimeRow(panel);
    buildChangeControls(panel);
    buildFindRow(panel);

    BitBtn1 = new QPushButton(QStringLiteral("Закрыть"), panel);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(408, 36, 79, 25);
    BitBtn1->setAutoDefault(false);
    BitBtn1->setDefault(false);
}

void TShowVideoForm::buildPanelButtons(QWidget *panel) {
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
}

void TShowVideoForm::buildFrameLabels(QWidget *panel) {
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
    const int sizeLeft =
        std::max(kSizeLeft,
                 Label3->x() +
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
}

void TShowVideoForm::buildGoTimeRow(QWidget *panel) {
    lbGoTime =
        makeLabel(panel, "lbGoTime", QStringLiteral("Перейти ко времени:"), 8, kGoTimeTop + 3);
    edGoTime = new QDateTimeEdit(panel);
    edGoTime->setObjectName(QStringLiteral("edGoTime"));
    edGoTime->setLocale(zv::dateTimeLocale());
    edGoTime->setDisplayFormat(zv::dateTimeEditFormat());
    edGoTime->setCalendarPopup(true);
    // Only a click or Ctrl+G puts the focus here: typing into the field would keep the arrows,
    // Space and the keypad from their actions.
    edGoTime->setFocusPolicy(Qt::ClickFocus);
    edGoTime->setToolTip(QStringLiteral("Дата и время кадра (Ctrl+G); Enter — перейти"));
    edGoTime->installEventFilter(this);
    const int left = lbGoTime->geometry().right() + 6;
    edGoTime->setGeometry(left, kGoTimeTop, std::max(edGoTime->sizeHint().width(), 150), 22);

    sbGoTime = new QToolButton(panel);
    sbGoTime->setObjectName(QStringLiteral("sbGoTime"));
    sbGoTime->setText(QStringLiteral("Перейти"));
    sbGoTime->setToolTip(QStringLiteral("Показать кадр, снятый в это время или перед ним"));
    sbGoTime->setFocusPolicy(Qt::NoFocus);
    sbGoTime->adjustSize();
    sbGoTime->setGeometry(edGoTime->geometry().right() + 4, kGoTimeTop,
                          sbGoTime->sizeHint().width(), 22);
}

void TShowVideoForm::buildChangeControls(QWidget *panel) {
    using zv::ViewerIcon;
    int left = sbGoTime->geometry().right() + 9;
    auto button = [&](const char *name, ViewerIcon icon, const char *hint, bool toggle) {
        QToolButton *b = makeSpeedButton(panel, name, icon, QString::fromUtf8(hint), left, toggle);
        b->move(left, kGoTimeTop);
        left += kButtonWidth;
        return b;
    };
    sbPrevChange = button("sbPrevChange", ViewerIcon::PrevChange,
                          "К предыдущему изменению экрана (Ctrl+Влево)", false);
    sbNextChange = button("sbNextChange", ViewerIcon::NextChange,
                          "К следующему изменению экрана (Ctrl+Вправо)", false);
    left += 6;
    sbSkipStill =
        button("sbSkipStill", ViewerIcon::SkipStill,
               "Пропускать неподвижный экран при показе (дольше 2 секунд — за один шаг)", true);
    left += 6;
    sbFindRow = button("sbFindRow", ViewerIcon::FindText,
                       "Найти текст, который был на экране (Ctrl+F)", true);
}

void TShowVideoForm::buildFindRow(QWidget *panel) {
    pnFindText = new QWidget(panel);
    pnFindText->setObjectName(QStringLiteral("pnFindText"));
    pnFindText->hide();
    QWidget *row = pnFindText;
    // Its text field stands under the go-to-time field.
    lbFindText = makeLabel(row, "lbFindText", QStringLiteral("Найти текст:"), 8, 3);
    edFindText = new QLineEdit(row);
    edFindText->setObjectName(QStringLiteral("edFindText"));
    edFindText->setToolTip(QStringLiteral(
        "Текст, который был на экране: номер чека, сумма, имя (Enter — найти, Esc — закрыть)"));
    edFindText->setClearButtonEnabled(true);
    edFindText->installEventFilter(this);
    edFindText->setGeometry(edGoTime->x(), 0, 200, 22);

    sbFindText = new QToolButton(row);
    sbFindText->setObjectName(QStringLiteral("sbFindText"));
    sbFindText->setText(QStringLiteral("Найти"));
    sbFindText->setToolTip(QStringLiteral("Найти кадры, на которых был этот текст"));
    sbFindText->setFocusPolicy(Qt::NoFocus);
    sbFindText->setGeometry(0, 0, sbFindText->sizeHint().width(), 22);

    lbTextIndex = makeLabel(row, "lbTextIndex", QString(), 8, 26, 300);

    lvTextHits = new QTableWidget(0, 2, row);
    lvTextHits->setObjectName(QStringLiteral("lvTextHits"));
    lvTextHits->setToolTip(
        QStringLiteral("Где был найден текст: выберите строку, чтобы перейти к её кадру"));
    lvTextHits->setHorizontalHeaderLabels({QStringLiteral("Время"), QStringLiteral("Текст")});
    lvTextHits->setShowGrid(false);
    lvTextHits->setWordWrap(false);
    lvTextHits->verticalHeader()->hide();
    lvTextHits->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvTextHits->verticalHeader()->setMinimumSectionSize(1);
    lvTextHits->verticalHeader()->setDefaultSectionSize(lvTextHits->fontMetrics().height() + 1);
    lvTextHits->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvTextHits->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvTextHits->setSelectionMode(QAbstractItemView::SingleSelection);
    lvTextHits->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvTextHits->horizontalHeader()->setHighlightSections(false);
    lvTextHits->horizontalHeader()->setStretchLastSection(true);
    lvTextHits->setColumnWidth(0, kHitTimeWidth);
    lvTextHits->setGeometry(8, kFindHitsTop, 300, kFindHitsHeight);
}

void TShowVideoForm::setFindRowShown(bool on) {
    if (on == findRowShown_)
        return;
    if (on && fullWindow_)
        setFullWindow(false);  // the row is on the panel
    findRowShown_ = on;
    sbFindRow->setChecked(on);
    const int extra = on ? kFindRowHeight : -kFindRowHeight;
    // The picture keeps its size: the window grows by the row (unless the window manager holds
    // its size, maximised: then the picture gives way). The height is taken before the minimum
    // grows, which would already stretch the window.
    const int height = this->height() + extra;
    const bool sized = !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    setMinimumHeight(minimumHeight() + extra);
    MainPanel->setFixedHeight(kPanelHeight + (on ? kFindRowHeight : 0));
    pnFindText->setVisible(on);
    if (sized)
        resize(width(), height);
    if (on) {
        edFindText->setFocus(Qt::ShortcutFocusReason);
        edFindText->selectAll();
    } else if (pnFindText->isAncestorOf(focusWidget())) {
        setFocus(Qt::OtherFocusReason);  // the keys step through frames again
    }
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
    zv::VideoPlayer &p = *player_;
    // A step shows its frame number at once, also while the keys repeat faster than paints.
    auto step = [this, &p](int delta) {
        return [this, &p, delta] {
            p.step(delta);
            MainPanel->repaint();
        };
    };
    acLeft = action("acLeft", {QKeySequence(Qt::Key_Left)}, step(-1));
    acRight = action("acRight", {QKeySequence(Qt::Key_Right)}, step(1));
    AcPgUp = action("AcPgUp", {QKeySequence(Qt::Key_PageUp)}, step(-10));
    AcPgDn = action("AcPgDn", {QKeySequence(Qt::Key_PageDown)}, step(10));
    AcSpace = action("AcSpace", {QKeySequence(Qt::Key_Space)}, [&p] { p.toggle(); });
    acPlus = action("acPlus",
                    {QKeySequence(Qt::KeypadModifier | Qt::Key_Plus), QKeySequence(Qt::Key_Plus)},
                    [&p] { p.faster(); });
    acMinus =
        action("acMinus", {QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)}, [&p] { p.slower(); });
    acGoTime =
        action("acGoTime", {QKeySequence(Qt::CTRL | Qt::Key_G)}, [this] { goToTimeField(); });
    acPrevChange = action("acPrevChange", {QKeySequence(Qt::CTRL | Qt::Key_Left)},
                          [&p] { p.previousChange(); });
    acNextChange =
        action("acNextChange", {QKeySequence(Qt::CTRL | Qt::Key_Right)}, [&p] { p.nextChange(); });
    acFindText =
        action("acFindText", {QKeySequence(Qt::CTRL | Qt::Key_F)}, [this] { acFindTextExecute(); });
    acFindText->setText(QStringLiteral("Найти текст"));
    acFindText->setToolTip(QStringLiteral("Найти текст, который был на экране (Ctrl+F)"));
    // The X server's keypad keys miss the keypad shortcuts above; these catch them.
    auto *keypad = new zv::KeypadKeys(this);
    keypad->bind(Qt::Key_Plus, acPlus);
    keypad->bind(Qt::Key_Minus, acMinus);
}

void TShowVideoForm::connectControls() {
    connect(sbFrames, &QToolButton::clicked, this, [this] { sbFramesClick(); });
    connect(RxSlider1, &QSlider::valueChanged, this, [this] { RxSlider1Change(); });
    connect(RxSlider1, &QSlider::sliderMoved, this, [this](int value) { showSliderTime(value); });
    connect(sbFirst, &QToolButton::clicked, this, [this] { sbFirstClick(); });
    connect(sbPlay, &QToolButton::clicked, this, [this] { sbPlayClick(); });
    connect(sbPlay2x, &QToolButton::clicked, this, [this] { sbPlay2xClick(); });
    connect(sbPlay3x, &QToolButton::clicked, this, [this] { sbPlay3xClick(); });
    connect(sbPause, &QToolButton::clicked, this, [this] { sbPauseClick(); });
    connect(sbStop, &QToolButton::clicked, this, [this] { sbStopClick(); });
    connect(sbLast, &QToolButton::clicked, this, [this] { sbLastClick(); });
    connect(sbOpen, &QToolButton::clicked, this, [this] { sbOpenClick(); });
    connect(sbRePlay, &QToolButton::toggled, player_, &zv::VideoPlayer::setReplay);
    connect(sbGoTime, &QToolButton::clicked, this, [this] { sbGoTimeClick(); });
    connect(sbPrevChange, &QToolButton::clicked, acPrevChange, &QAction::trigger);
    connect(sbNextChange, &QToolButton::clicked, acNextChange, &QAction::trigger);
    connect(sbSkipStill, &QToolButton::toggled, player_, &zv::VideoPlayer::setSkipStill);
    connect(player_, &zv::VideoPlayer::fileChanged, pbActivity, qOverload<>(&QWidget::update));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    connect(sbFindText, &QToolButton::clicked, this, [this] { sbFindTextClick(); });
    connect(sbFindRow, &QToolButton::clicked, acFindText, &QAction::trigger);
    connect(lvTextHits, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0)
            lvTextHitsChoose(row);
    });
    // A click on the chosen row again, or Enter on it, goes back to its frame after steps.
    connect(lvTextHits, &QTableWidget::cellClicked, this,
            [this](int row) { lvTextHitsChoose(row); });
    connect(lvTextHits, &QAbstractItemView::activated, this,
            [this](const QModelIndex &index) { lvTextHitsChoose(index.row()); });
    connect(lvFrames->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    lvFramesChanging(current.row());
            });
}

void TShowVideoForm::placePanelControls() {
    const int width = MainPanel->width();
    RxSlider1->setGeometry(168, 1, std::max(width - kSliderRightGap - 168, 0), 24);
    pbActivity->setGeometry(168, kActivityTop, RxSlider1->width(), kActivityHeight);
    lbFRNum->move(width - kFrameNumberRightGap - lbFRNum->width(), 6);
    BitBtn1->move(width - kCloseRightGap - BitBtn1->width(), 36);
    pnFindText->setGeometry(0, kPanelHeight, width, kFindRowHeight);
    const int right = width - kCloseRightGap;
    sbFindText->move(right - sbFindText->width(), 0);
    edFindText->resize(std::max(sbFindText->x() - 4 - edFindText->x(), 60), edFindText->height());
    lbTextIndex->resize(std::max(right - lbTextIndex->x(), 0), lbTextIndex->height());
    showTextIndexLine();
    lvTextHits->resize(std::max(right - lvTextHits->x(), 0), lvTextHits->height());
}
