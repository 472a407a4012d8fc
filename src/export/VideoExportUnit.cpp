#include "export/VideoExportUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QShowEvent>
#include <QSpinBox>
#include <QStyle>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "container/ChangeFinder.h"
#include "container/ZVFformatUnit.h"
#include "export/ExportRun.h"
#include "export/SelectionStrip.h"
#include "export/StripMapping.h"
#include "export/WaitFormUnit.h"
#include "platform/DateTime.h"
#include "platform/DateTimeText.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "widgets/FileDialogs.h"
#include "widgets/FormPlacement.h"
#include "widgets/SpinEdit.h"
#include "widgets/TahomaFont.h"
#include "widgets/VideoControls.h"

namespace {

constexpr int kClientWidth = 420;
constexpr int kStripWidth = 404;
constexpr int kStripHeight = 11;
const char kFailurePrefix[] = "Ошибка экспорта: ";

template <class T>
T *place(QWidget *parent, const char *name, QRect rect) {
    auto *widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(rect);
    return widget;
}

// A block of the window's stack: full width, fixed height, top-aligned.
QGroupBox *stackGroup(QVBoxLayout *stack, QWidget *window, const char *name, const char *title,
                      int height) {
    auto *group = new QGroupBox(QString::fromUtf8(title), window);
    group->setObjectName(QString::fromLatin1(name));
    group->setFixedHeight(height);
    stack->addWidget(group);
    return group;
}

QLabel *placeLabel(QWidget *parent, const char *name, const QString &text, QPoint at) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->move(at);
    label->adjustSize();
    return label;
}

// A label of a fixed place whose text is set later, aligned within it.
QLabel *fixedLabel(QWidget *parent, const char *name, QRect rect, Qt::Alignment align) {
    QLabel *label = place<QLabel>(parent, name, rect);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

QRadioButton *placeRadio(QWidget *parent, const char *name, const char *text, QPoint at) {
    auto *radio = place<QRadioButton>(parent, name, QRect(at, QSize(300, 17)));
    radio->setText(QString::fromUtf8(text));
    return radio;
}

QToolButton *browseButton(QWidget *parent, const char *name, QPoint at) {
    auto *button = place<QToolButton>(parent, name, QRect(at, QSize(23, 22)));
    button->setIcon(QIcon(zv::folderPicture({16, 14})));
    button->setAutoRaise(true);
    return button;
}

void setBoldBlue(QLabel *label) {
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    QPalette blue = label->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(blue);
}

void setPickers(QDateEdit *date, QTimeEdit *time, double value) {
    const zv::DateTimeFields f = zv::decodeDateTime(value);
    date->setDate(QDate(f.year, f.month, f.day));
    time->setTime(QTime(f.hour, f.minute, f.second, f.msec));
}

// The day shown by the date box plus the time of day of the time picker.
double pickedInstant(const QDateEdit *date, const QTimeEdit *time) {
    const QDate d = date->date();
    const QTime t = time->time();
    return zv::encodeDateTime(
        {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()});
}

}  // namespace

// The selection strip: paints through pbPaint and hands the pointer to the strip handlers. After
// a press it keeps the pointer until the release, also outside its area.
class TExportForm::StripBox : public QWidget {
public:
    StripBox(TExportForm *form, QWidget *parent) : QWidget(parent), form_(form) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        form_->pbPaint(painter);
    }
    void mousePressEvent(QMouseEvent *e) override { form_->pbMouseDown(xOf(e)); }
    void mouseMoveEvent(QMouseEvent *e) override { form_->pbMouseMove(xOf(e)); }
    void mouseReleaseEvent(QMouseEvent *) override { form_->pbMouseUp(); }

private:
    static int64_t xOf(const QMouseEvent *e) { return e->position().toPoint().x(); }
    TExportForm *form_;
};

TExportForm::TExportForm(QWidget *parent)
    : QDialog(parent, Qt::Tool), activity_(std::make_unique<zvf::SizeActivity>()) {
    setObjectName(QStringLiteral("ExportForm"));
    setWindowTitle(QString::fromUtf8("Экспорт видео записи"));
    setFont(zv::tahomaFont(11));
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    buildExportType(stack);
    buildTargetPanels(stack);
    buildIntervalKind(stack);
    buildTimePanel(stack);
    buildFramePanel(stack);
    buildGraphPanel(stack);
    buildButtonBar(stack);
    connectHandlers();

    sd1 = new QFileDialog(this);
    sd1->setObjectName(QStringLiteral("sd1"));
    sd1->setAcceptMode(QFileDialog::AcceptSave);
    sd1->setDefaultSuffix(QStringLiteral("zvf"));
    sd1->setOption(QFileDialog::DontConfirmOverwrite, true);

    runDialog_ = zv::execFileDialog;
    exportCall_ = zv::runExportRequest;
    FormStorage1 = std::make_unique<zv::FormPlacement>(this, QStringLiteral("TExportForm"));
    setFixedWidth(kClientWidth);
    fitHeight();
    move(0, 0);
}

TExportForm::~TExportForm() = default;

// ---- Layout ------------------------------------------------------------------------------------

void TExportForm::buildExportType(QVBoxLayout *stack) {
    GroupBox1 = stackGroup(stack, this, "GroupBox1", "Тип экспорта", 65);
    rbExpVideo = placeRadio(GroupBox1, "rbExpVideo", "В файл ZOR видео (*.zvf)", {12, 18});
    rbExpVideo->setChecked(true);
    rbExpPictures = placeRadio(GroupBox1, "rbExpPictures", "В ряд картинок (*.gif)", {12, 40});
    // Beside the other video file, so that the group keeps its height.
    rbExpMp4 = placeRadio(GroupBox1, "rbExpMp4", "В видеофайл MP4 (*.mp4)", {220, 18});
    rbExpMp4->resize(190, 17);
}

void TExportForm::buildTargetPanels(QVBoxLayout *stack) {
    Step1_1 = stackGroup(stack, this, "Step1_1", "Путь для экспорта", 72);
    Label1 = placeLabel(Step1_1, "Label1", QString::fromUtf8("Укажите файл для экпорта"), {12, 16});
    edExportFile = place<QLineEdit>(Step1_1, "edExportFile", {12, 31, 374, 21});
    edExportFile->setText(QStringLiteral("edExportFile"));
    SpeedButton1 = browseButton(Step1_1, "SpeedButton1", {388, 30});
    cbAddInZIP = place<QCheckBox>(Step1_1, "cbAddInZIP", {12, 53, 200, 17});
    cbAddInZIP->setText(QString::fromUtf8("Архивировать 7zip"));

    Step1_2 = stackGroup(stack, this, "Step1_2", "Путь для экспорта", 72);
    Label2 =
        placeLabel(Step1_2, "Label2", QString::fromUtf8("Укажите папку для экпорта"), {12, 16});
    edExportDir = place<QLineEdit>(Step1_2, "edExportDir", {12, 31, 374, 21});
    edExportDir->setText(QStringLiteral("edExportFile"));
    SpeedButton2 = browseButton(Step1_2, "SpeedButton2", {388, 30});

    Shape1 = new QWidget(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFixedHeight(14);
    Shape1->setAutoFillBackground(true);
    QPalette gray = Shape1->palette();
    gray.setColor(QPalette::Window, QColor(128, 128, 128));
    Shape1->setPalette(gray);
    stack->addWidget(Shape1);
}

void TExportForm::buildIntervalKind(QVBoxLayout *stack) {
    GroupBox2 = stackGroup(stack, this, "GroupBox2", "Параметры экспорта", 94);
    rbIntTime = placeRadio(GroupBox2, "rbIntTime", "Указать временной интервал", {12, 18});
    rbIntTime->setChecked(true);
    rbIntFrame = placeRadio(GroupBox2, "rbIntFrame", "Указать интервал в номерах кадров", {12, 40});
    rbIntGraph = placeRadio(GroupBox2, "rbIntGraph", "Графический выбор", {12, 62});
}

void TExportForm::buildTimePanel(QVBoxLayout *stack) {
    Step2_1 = stackGroup(stack, this, "Step2_1", "Временной интервал", 90);
    lbDateTimeVideo = fixedLabel(Step2_1, "lbDateTimeVideo", {8, 15, 404, 15}, Qt::AlignLeft);
    auto pair = [this](const char *labelName, const char *text, int left, QLabel *&label,
                       QDateEdit *&date, QTimeEdit *&time, const char *dateName,
                       const char *timeName) {
        label = fixedLabel(Step2_1, labelName, {left, 36, 80, 40}, Qt::AlignHCenter);
        label->setText(QString::fromUtf8(text));
        label->setWordWrap(true);
        date = place<QDateEdit>(Step2_1, dateName, {left + 84, 34, 112, 21});
        date->setLocale(zv::dateTimeLocale());
        date->setCalendarPopup(true);
        time = place<QTimeEdit>(Step2_1, timeName, {left + 84, 58, 112, 21});
        time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    };
    pair("Label3", "Дата начала записи", 8, Label3, DateStartExp, TimeStartExp, "DateStartExp",
         "TimeStartExp");
    pair("Label4", "Дата конца записи", 214, Label4, DateEndExp, TimeEndExp, "DateEndExp",
         "TimeEndExp");
}

void TExportForm::buildFramePanel(QVBoxLayout *stack) {
    Step2_2 = stackGroup(stack, this, "Step2_2", "Интервал в номерах кадров", 90);
    QFont bold = font();
    bold.setBold(true);
    lbNumFramesVideo = fixedLabel(Step2_2, "lbNumFramesVideo", {8, 15, 404, 15}, Qt::AlignLeft);
    lbNumFramesVideo->setFont(bold);
    const QString blanks(50, QLatin1Char(' '));
    // Each spin box lies over the run of blanks inside its label.
    auto row = [&](const char *labelName, const char *head, const char *tail, int top,
                   const char *spinName) {
        QLabel *label =
            placeLabel(Step2_2, labelName,
                       QString::fromUtf8(head) + blanks + QString::fromUtf8(tail), {8, top});
        label->setFont(bold);
        label->adjustSize();
        const QFontMetrics metrics(bold);
        const int blank = metrics.horizontalAdvance(QLatin1Char(' '));
        const int left = 8 + metrics.horizontalAdvance(QString::fromUtf8(head)) + blank;
        auto *spin = place<zv::SpinEdit>(
            Step2_2, spinName, {left, top - 4, metrics.horizontalAdvance(blanks) - 2 * blank, 21});
        spin->setAlignment(Qt::AlignRight);
        spin->setFont(zv::tahomaFont(13, true));
        spin->setRange(0, 0);
        spin->raise();
        return std::pair{label, spin};
    };
    std::tie(Label5, seStartFrames) =
        row("Label5", "Производить экспорт, начиная с", "кадра", 40, "seStartFrames");
    std::tie(Label7, seEndFrames) = row("Label7", "по", "кадр", 66, "seEndFrames");
}

void TExportForm::buildGraphPanel(QVBoxLayout *stack) {
    Step2_3 = stackGroup(stack, this, "Step2_3", "Графический выбор", 90);
    Step2_3->installEventFilter(this);
    QWidget *g = Step2_3;
    lbStartData = fixedLabel(g, "lbStartData", {8, 15, 134, 15}, Qt::AlignLeft);
    lbMeedleData = fixedLabel(g, "lbMeedleData", {143, 15, 134, 15}, Qt::AlignHCenter);
    lbEndData = fixedLabel(g, "lbEndData", {278, 15, 134, 15}, Qt::AlignRight);
    pb = new StripBox(this, g);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setGeometry(8, 31, kStripWidth, kStripHeight);
    lbStartFrame = fixedLabel(g, "lbStartFrame", {8, 43, 134, 15}, Qt::AlignLeft);
    lbMeedleFrame = fixedLabel(g, "lbMeedleFrame", {143, 43, 134, 15}, Qt::AlignHCenter);
    lbEndFrame = fixedLabel(g, "lbEndFrame", {278, 43, 134, 15}, Qt::AlignRight);
    Label6 = placeLabel(g, "Label6", QString::fromUtf8("Выделенный фрегмент:"), {8, 59});
    const int selLeft = Label6->geometry().right() + 5;
    lbSelFrames = fixedLabel(g, "lbSelFrames", {selLeft, 58, 412 - selLeft, 15}, Qt::AlignLeft);
    lbSelDatas = fixedLabel(g, "lbSelDatas", {selLeft, 72, 412 - selLeft, 15}, Qt::AlignLeft);
    setBoldBlue(lbSelFrames);
    setBoldBlue(lbSelDatas);
}

void TExportForm::buildButtonBar(QVBoxLayout *stack) {
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(41);
    stack->addWidget(Panel1);
    BitBtn1 = place<QPushButton>(Panel1, "BitBtn1", {8, 8, 130, 25});
    BitBtn1->setText(QString::fromUtf8("Экспортировать"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    BitBtn2 = place<QPushButton>(Panel1, "BitBtn2", {282, 8, 130, 25});
    BitBtn2->setText(QString::fromUtf8("Закрыть"));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    // Enter in an edit box exports nothing; Esc closes, as "Закрыть" does.
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
}

void TExportForm::connectHandlers() {
    // Checking a radio button, by a click, the keyboard or the stored choices, is its click.
    for (QRadioButton *rb : {rbExpVideo, rbExpPictures, rbExpMp4})
        connect(rb, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbExpVideoClick();
        });
    for (QRadioButton *rb : {rbIntTime, rbIntFrame, rbIntGraph})
        connect(rb, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbIntTimeClick();
        });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TExportForm::fitHeight() {
    layout()->activate();
    setFixedHeight(layout()->sizeHint().height());
}

// ---- Opening and closing -----------------------------------------------------------------------

void TExportForm::ShowForFile(const std::string &fileName) {
    if (!OpenForFile(fileName))
        return;
    exec();
}

bool TExportForm::OpenForFile(const std::string &fileName) {
    if (!zv::fileExists(fileName))
        return false;
    FZVF = std::make_unique<TZVFFormat>(fileName);
    activity_->clear();
    fillFromFile(fileName);
    return true;
}

int32_t TExportForm::frameCount() const {
    return FZVF ? FZVF->FrameCount() : 0;
}

QString TExportForm::frameText(int32_t index) const {
    // Only frames the recording holds: never the slot after the last one.
    if (index < 0 || index >= frameCount())
        return QString();
    TZVFFrameEntry entry;
    FZVF->ReadFrameEntry(index, entry);
    return zv::dateTimeText(entry.DateTime);
}

void TExportForm::fillFromFile(const std::string &fileName) {
    setWindowTitle(QString::fromUtf8("Экспорт видео записи ") + QString::fromStdString(fileName));
    lbDateTimeVideo->setText(QString::fromUtf8("Начало данных датируется ") + frameText(0) +
                             QString::fromUtf8(" конец ") + frameText(frameCount() - 1));
    lbNumFramesVideo->setText(QString::fromUtf8("Всего в видео ") + QString::number(frameCount()) +
                              QString::fromUtf8(" кадров"));
    const int32_t middle = zv::middleFrame(frameCount());
    lbStartData->setText(frameText(0));
    lbEndData->setText(frameText(frameCount() - 1));
    lbMeedleData->setText(frameText(middle));
    lbStartFrame->setText(QStringLiteral("0"));
    lbEndFrame->setText(QString::number(frameCount() - 1));
    lbMeedleFrame->setText(QString::number(middle));
    if (frameCount() > 0) {
        TZVFFrameEntry entry;
        FZVF->ReadFrameEntry(0, entry);
        setPickers(DateStartExp, TimeStartExp, entry.DateTime);
        FZVF->ReadFrameEntry(frameCount() - 1, entry);
        setPickers(DateEndExp, TimeEndExp, entry.DateTime);
    }
    // A recording of no frames keeps the limits 0 .. 0; the frame store refuses its bounds.
    const int last = std::max(frameCount() - 1, 0);
    seStartFrames->setMaximum(last);
    seEndFrames->setMaximum(last);
    seEndFrames->setValue(last);
}

void TExportForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        restoreStorage();
        FormShow();
    }
}

void TExportForm::done(int result) {
    // The frame store belongs to the running export until it ends: stop it, stay open.
    if (running_) {
        running_->cancel();
        return;
    }
    saveStorage();
    FormClose();
    QDialog::done(result);
}

void TExportForm::FormClose() {
    FZVF.reset();
    activity_->clear();
}

// Keys of the stored choices, in the order they are restored.
namespace {
const char *const kStoredTexts[] = {"edExportDir.Text", "edExportFile.Text"};
const char *const kStoredChecks[] = {
    "rbExpPictures.Checked", "rbExpVideo.Checked", "rbExpMp4.Checked",  "rbIntFrame.Checked",
    "rbIntGraph.Checked",    "rbIntTime.Checked",  "cbAddInZIP.Checked"};
const char kStoredFocus[] = "ActiveControl";
}  // namespace

void TExportForm::restoreStorage() {
    if (!FormStorage1->restore())
        zv::placeAtTopLeft(this);
    QLineEdit *edits[] = {edExportDir, edExportFile};
    for (size_t i = 0; i < std::size(edits); ++i)
        edits[i]->setText(FormStorage1->value(kStoredTexts[i], edits[i]->text()).toString());
    QAbstractButton *checks[] = {rbExpPictures, rbExpVideo, rbExpMp4,  rbIntFrame,
                                 rbIntGraph,    rbIntTime,  cbAddInZIP};
    for (size_t i = 0; i < std::size(checks); ++i) {
        const bool on = FormStorage1->value(kStoredChecks[i], checks[i]->isChecked()).toBool();
        // A radio button of a group is unchecked only by checking another.
        if (on || checks[i] == cbAddInZIP)
            checks[i]->setChecked(on);
    }
    const QString focus = FormStorage1->value(kStoredFocus).toString();
    if (QWidget *w = focus.isEmpty() ? nullptr : findChild<QWidget *>(focus))
        w->setFocus();
}

void TExportForm::saveStorage() {
    FormStorage1->save();
    const QLineEdit *edits[] = {edExportDir, edExportFile};
    for (size_t i = 0; i < std::size(edits); ++i)
        FormStorage1->setValue(kStoredTexts[i], edits[i]->text());
    const QAbstractButton *checks[] = {rbExpPictures, rbExpVideo, rbExpMp4,  rbIntFrame,
                                       rbIntGraph,    rbIntTime,  cbAddInZIP};
    for (size_t i = 0; i < std::size(checks); ++i)
        FormStorage1->setValue(kStoredChecks[i], checks[i]->isChecked());
    const QWidget *focus = focusWidget();
    FormStorage1->setValue(kStoredFocus,
                           focus && isAncestorOf(focus) ? focus->objectName() : QString());
}

// ---- Panels ------------------------------------------------------------------------------------

void TExportForm::FormShow() {
    rbExpVideoClick();
    rbIntTimeClick();
    SelStartX = 0;
    SelEndX = 1;
    showSelection();
    pb->update();
}

void TExportForm::rbExpVideoClick() {
    // Both video files use the file panel; the 7z step is one of the ZVF export only.
    Step1_1->setVisible(rbExpVideo->isChecked() || rbExpMp4->isChecked());
    Step1_2->setVisible(rbExpPictures->isChecked());
    cbAddInZIP->setEnabled(!rbExpMp4->isChecked());
    matchFileExtension();
    fitHeight();
}

void TExportForm::matchFileExtension() {
    // The name typed for one kind of video file would otherwise receive the other kind.
    const QString from = rbExpMp4->isChecked() ? QStringLiteral(".zvf") : QStringLiteral(".mp4");
    const QString to = rbExpMp4->isChecked() ? QStringLiteral(".mp4") : QStringLiteral(".zvf");
    const QString name = edExportFile->text();
    if (!rbExpPictures->isChecked() && name.endsWith(from, Qt::CaseInsensitive))
        edExportFile->setText(name.left(name.size() - from.size()) + to);
}

void TExportForm::rbIntTimeClick() {
    Step2_1->setVisible(rbIntTime->isChecked());
    Step2_2->setVisible(rbIntFrame->isChecked());
    Step2_3->setVisible(rbIntGraph->isChecked());
    fitHeight();
}

void TExportForm::SpeedButton1Click() {
    sd1->setDefaultSuffix(rbExpMp4->isChecked() ? QStringLiteral("mp4") : QStringLiteral("zvf"));
    sd1->selectFile(QString());
    const QString chosen = runDialog_ ? runDialog_(*sd1) : QString();
    if (!chosen.isEmpty())
        edExportFile->setText(QString::fromStdString(zv::operatorPath(chosen.toStdString())));
}

void TExportForm::SpeedButton2Click() {
    QFileDialog chooser(this, QString::fromUtf8("Укажите каталог для експорта"),
                        QString::fromStdString(zv::nativePath(edExportDir->text().toStdString())));
    chooser.setObjectName(QStringLiteral("FolderDialog"));
    zv::makePlainFolderChooser(chooser);
    const QString chosen = runDialog_ ? runDialog_(chooser) : QString();
    if (!chosen.isEmpty())
        edExportDir->setText(QString::fromStdString(zv::operatorPath(chosen.toStdString())));
}

// ---- The strip ---------------------------------------------------------------------------------

int32_t TExportForm::PositionToFrame(int64_t x) const {
    return zv::positionToFrame(x, frameCount());
}

void TExportForm::showSelection() {
    const int32_t from = PositionToFrame(SelStartX);
    const int32_t to = PositionToFrame(SelEndX);
    lbSelFrames->setText(QStringLiteral("c ") + QString::number(from) + QString::fromUtf8(" по ") +
                         QString::number(to));
    lbSelDatas->setText(QStringLiteral("c ") + frameText(PositionToFrame(SelStartX)) +
                        QString::fromUtf8(" по ") + frameText(PositionToFrame(SelEndX)));
}

void TExportForm::pbMouseDown(int64_t x) {
    SelDragging = true;
    // Held within the strip's scale as a drag is: a press in the last columns (401 .. 403) would
    // otherwise select frames past the last one.
    SelStartX = zv::clampStripPosition(x);
    SelEndX = SelStartX;
    pb->update();
}

void TExportForm::pbMouseMove(int64_t x) {
    if (SelDragging) {
        SelEndX = zv::clampStripPosition(x);
        showSelection();
    }
    pb->update();
}

void TExportForm::pbMouseUp() {
    SelDragging = false;
}

void TExportForm::pbPaint(QPainter &painter) {
    painter.drawImage(0, 0,
                      zv::selectionStripPicture(pb->size(), SelStartX, SelEndX, stripActivity()));
}

std::vector<uint8_t> TExportForm::stripActivity() {
    std::vector<uint8_t> columns(zv::kStripScale + 1, 0);
    const int32_t n = frameCount();
    if (!FZVF || n <= 0)
        return columns;
    activity_->follow(*FZVF, n);
    // Position x stands for the frames from its own up to the next position's.
    for (int64_t x = 0; x <= zv::kStripScale; ++x) {
        const int32_t from = zv::positionToFrame(x, n);
        const int32_t to = x < zv::kStripScale ? zv::positionToFrame(x + 1, n) - 1 : n - 1;
        columns[static_cast<size_t>(x)] = activity_->activeIn(from, std::max(from, to)) > 0;
    }
    return columns;
}

void TExportForm::Step2_3MouseDown() {
    setWindowTitle(QString::number(QRandomGenerator::global()->bounded(2000)));
}

bool TExportForm::eventFilter(QObject *watched, QEvent *event) {
    // Presses that a label lets through reach the group box too; only its free area counts.
    if (watched == Step2_3 && event->type() == QEvent::MouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        if (!Step2_3->childAt(press->position().toPoint()))
            Step2_3MouseDown();
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Export ------------------------------------------------------------------------------------

zv::ExportRequest TExportForm::exportRequest() const {
    zv::ExportRequest r;
    r.target = rbExpPictures->isChecked() ? zv::ExportTarget::Pictures
               : rbExpMp4->isChecked()    ? zv::ExportTarget::Mp4
                                          : zv::ExportTarget::Video;
    const QLineEdit *path = r.target == zv::ExportTarget::Pictures ? edExportDir : edExportFile;
    r.path = path->text().toStdString();
    r.compress = r.target == zv::ExportTarget::Video && cbAddInZIP->isChecked();
    if (rbIntFrame->isChecked()) {
        r.interval = zv::ExportInterval::Frames;
        r.first = seStartFrames->AsInteger();
        r.last = seEndFrames->AsInteger();
    } else if (rbIntTime->isChecked()) {
        r.interval = zv::ExportInterval::Time;
        r.start = pickedInstant(DateStartExp, TimeStartExp);
        r.end = pickedInstant(DateEndExp, TimeEndExp);
    } else {
        r.interval = zv::ExportInterval::Graph;
        r.first = PositionToFrame(SelStartX);
        r.last = PositionToFrame(SelEndX);
    }
    return r;
}

void TExportForm::BitBtn1Click() {
    // The notice is gone when the failure is shown; a success is not confirmed.
    zv::showFailureOf([this] { runWithNotice(exportRequest()); }, kFailurePrefix,
                      zv::MessageKind::TopMost);
}

void TExportForm::runWithNotice(const zv::ExportRequest &request) {
    if (!FZVF)
        throw zv::Error("Файл видео не открыт");
    auto notice = std::make_unique<TWaitVideoExpForm>();
    struct Closer {
        TWaitVideoExpForm &notice;
        ~Closer() { notice.CloseNotice(); }
    } closer{*notice};
    notice->ShowNotice();
    zv::ExportRun run(*FZVF,
                      [call = exportCall_, request](TZVFFormat &zvf) { call(zvf, request); });
    if (noticeWatcher_)
        QTimer::singleShot(0, notice.get(), [this, n = notice.get()] { noticeWatcher_(*n); });
    running_ = &run;
    struct Running {
        zv::ExportRun *&run;
        ~Running() { run = nullptr; }
    } running{running_};
    notice->WaitFor(run);
}

namespace zv {

void showExportWindow(const std::string &fileName) {
    auto window = std::make_unique<TExportForm>();
    window->ShowForFile(fileName);
}

}  // namespace zv
