#include "recording/VideoUnit.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <iterator>

#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/ProcessStart.h"
#include "widgets/FileDialogs.h"
#include "widgets/FormPlacement.h"
#include "widgets/SpinEdit.h"
#include "widgets/Switch.h"
#include "widgets/TahomaFont.h"
#include "widgets/VideoControls.h"

namespace {

const char *const kMaxFileSizeHint =
    "После того как файл достигнит указанного размера, он будет перемещен в другой файл, а "
    "текущий начнется с начала";
const char *const kRecursiveHint =
    "Использовании данной опции позволяет удалять старые\r\n"
    "файлы видеозаписи для создании на их месте новых.\r\n"
    "Старые файлы удаляются при недостаточном количестве \r\n"
    "места на жестком диске.\r\n"
    "Если галку не ставить, при малом свободном месте на \r\n"
    "жестком диске запись видео будет отстанавливаться.";
const char *const kRecorderMarkHint =
    "Мигающая картинка сигнализирует о том, \r\nчто сервис записи видео не запущен!";
const char *const kDiskMarkHint =
    "Мигающая картинка сигнализирует о том, \r\nчто мало места на диске для видеозаписи!";
const char *const kRecorderHint =
    "Мигающий красный крест сигнализирует о\r\n"
    "том, что служба видеозаписи не запущена!\r\n"
    "В противном случае - все хорошо.";
const char *const kDiskHint =
    "Мигающий крест сигнализирует о том, \r\n"
    "что мало места на диске для видеозаписи!\r\n"
    "В противном случае - все хорошо.";
const char *const kStartHint = "Запустить службу сохранения скриншотов\r\nZORVideoService.exe";
const char *const kNoRecorderMessage = "Исполняемый файл службы видеозаписи не найден";
const char *const kGoCaption = "Запустить";
const char *const kStopCaption = "Остановить";
const char *const kWaitCaption = "Ждем...";
const char *const kZvfFilter = "ЗОРВАН видео файл (*.zvf)";
// The dialog's property holding the name last chosen in it.
const char *const kChosenName = "chosenName";

// Hints are kept with the CR LF of the original; a tooltip or a message wants line feeds.
QString tooltipText(const char *hint) {
    return QString::fromUtf8(hint).replace("\r\n", "\n");
}

// The recorder's mark while the recorder runs but records nothing.
QString idleHint(const std::string &reason) {
    return QString::fromUtf8(
               "Мигающая картинка сигнализирует о том, \nчто служба записи видео "
               "запущена, но не записывает:\n") +
           QString::fromStdString(reason);
}

template <class T>
T *place(QWidget *parent, const char *name, int left, int top, int width, int height) {
    auto *widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// An auto-sized label: its size follows the text, its top-left corner stays.
QLabel *placeLabel(QWidget *parent, const char *name, int left, int top, const QString &text) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

zv::SpinEdit *placeSpin(QWidget *parent, const char *name, int left, int top, int value) {
    auto *spin = place<zv::SpinEdit>(parent, name, left, top, 64, 21);
    spin->setAlignment(Qt::AlignRight);
    spin->setRange(50, 9999999);
    spin->setValue(value);
    return spin;
}

zv::Picture *placePicture(QWidget *parent, const char *name, QRect place, const QPixmap &pixmap) {
    auto *picture = new zv::Picture(parent);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setGeometry(place);
    picture->setPixmap(pixmap);
    picture->setAlignment(Qt::AlignCenter);
    return picture;
}

void prepareZvfDialog(QFileDialog *dialog, QFileDialog::AcceptMode mode) {
    dialog->setAcceptMode(mode);
    // The open dialog too takes a name of a file that does not exist; the viewer checks it.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QString::fromUtf8(kZvfFilter));
    dialog->setDefaultSuffix(QStringLiteral("zvf"));
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setSizeGripEnabled(true);
}

}  // namespace

namespace zv {

QString formatFixed2(double value, const QString &decimalPoint) {
    QString text = QString::number(value, 'f', 2);
    text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}

}  // namespace zv

TVideoForm::TVideoForm(TRecordingSettings &settings, QWidget *parent)
    : TVideoForm(settings, zv::RecorderControlServices::system(), parent) {}

TVideoForm::TVideoForm(TRecordingSettings &settings, zv::RecorderControlServices services,
                       QWidget *parent)
    : QDialog(parent), settings_(settings), services_(services) {
    setObjectName(QStringLiteral("VideoForm"));
    setWindowTitle(QString::fromUtf8("Запись\\просмотр видеозаписей"));
    setFont(zv::tahomaFont(11));  // Tahoma 8 pt, in which the layout is measured
    setFixedSize(392, 348);
    move(0, 0);

    createControls();
    arrangeTabOrder();
    connectHandlers();

    runDialog_ = zv::execFileDialog;

    FormPlacement1 = std::make_unique<zv::FormPlacement>(this, objectName());
    FormPlacement1->restore();
}

TVideoForm::~TVideoForm() = default;

void TVideoForm::createControls() {
    GroupBox1 = place<QGroupBox>(this, "GroupBox1", 3, 2, 387, 258);
    GroupBox1->setTitle(QString::fromUtf8("Запись действий оператора"));
    QWidget *g = GroupBox1;

    cbStart = place<zv::WrapCheckBox>(g, "cbStart", 44, 17, 222, 34);
    cbStart->setText(
        QString::fromUtf8("Вести запись действий оператора (снимков с экрана (скриншотов))"));
    QFont bold = cbStart->font();
    bold.setBold(true);
    cbStart->setFont(bold);
    RxSwitch1 = place<zv::Switch>(g, "RxSwitch1", 12, 26, 26, 40);

    bGo = place<QPushButton>(g, "bGo", 266, 7, 66, 19);
    bGo->setText(QString::fromUtf8(kGoCaption));
    bGo->setAccessibleDescription(tooltipText(kStartHint));
    bStop = place<QPushButton>(g, "bStop", 266, 26, 66, 18);
    bStop->setText(QString::fromUtf8(kStopCaption));
    bAddAuto = place<QPushButton>(g, "bAddAuto", 205, 46, 179, 17);
    bAddAuto->setText(QString::fromUtf8("Добавить в автозагрузку"));
    bDelAuto = place<QPushButton>(g, "bDelAuto", 205, 63, 179, 17);
    bDelAuto->setText(QString::fromUtf8("Убрать из автозагрузки"));
    for (QPushButton *b : {bGo, bStop, bAddAuto, bDelAuto})
        b->setAutoDefault(false);

    // The marks lie over their indicators, so they are made after them.
    Image2 = placePicture(g, "Image2", {342, 10, 34, 33}, zv::recorderPicture({34, 33}));
    Image2->setAccessibleDescription(tooltipText(kRecorderHint));
    Image1 = placePicture(g, "Image1", {348, 13, 25, 26}, zv::alarmMarkPicture({24, 24}));
    Image1->setToolTip(tooltipText(kRecorderMarkHint));
    Image3 = placePicture(g, "Image3", {338, 203, 34, 27}, zv::diskPicture({34, 27}));
    Image3->setAccessibleDescription(tooltipText(kDiskHint));
    Image4 = placePicture(g, "Image4", {343, 206, 25, 25}, zv::alarmMarkPicture({24, 24}));
    Image4->setToolTip(tooltipText(kDiskMarkHint));
    Image4->hide();

    Label1 = placeLabel(g, "Label1", 6, 84, QString::fromUtf8("Файл"));
    edFileForRec = place<QLineEdit>(g, "edFileForRec", 47, 81, 314, 21);
    edFileForRec->setText(QString::fromUtf8("C:\\VELD\\ZORVideo\\BigFile.zvf"));
    SpeedButton1 = place<QToolButton>(g, "SpeedButton1", 361, 80, 23, 22);
    SpeedButton1->setIcon(QIcon(zv::folderPicture({16, 14})));
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setAutoRaise(true);

    Label2 =
        placeLabel(g, "Label2", 6, 108,
                   QString::fromUtf8("Задержка между кадрами") + QString(25, QLatin1Char('_')) +
                       QString(3, QLatin1Char(' ')) + QString::fromUtf8("мс"));
    seFrameDelay = placeSpin(g, "seFrameDelay", 232, 105, 1000);
    seFrameDelay->setRange(40, 9999999);
    seFrameDelay->setValue(1000);

    Label4 = placeLabel(g, "Label4", 6, 126, QString::fromUtf8("Качество скриншотов"));
    rbQualityNorm = place<QRadioButton>(g, "rbQualityNorm", 126, 126, 168, 17);
    rbQualityNorm->setText(QString::fromUtf8("Нормальное (19 -60 кб)"));
    rbQualityNorm->setChecked(true);
    rbQualityHi = place<QRadioButton>(g, "rbQualityHi", 126, 142, 168, 17);
    rbQualityHi->setText(QString::fromUtf8("Качественное(35-150 кб)"));

    Label5 = placeLabel(g, "Label5", 6, 160,
                        QString::fromUtf8("Приблизительный размер видео за час, МБ:"));
    lbSizeInHour = place<QLabel>(g, "lbSizeInHour", 235, 159, 24, 15);
    lbSizeInHour->setAlignment(Qt::AlignCenter);
    lbSizeInHour->setWordWrap(true);
    QFont estimateFont(QStringLiteral("Times New Roman"), 9);
    estimateFont.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                              QStringLiteral("DejaVu Serif Condensed")});
    estimateFont.setBold(true);
    lbSizeInHour->setFont(estimateFont);
    QPalette navy = lbSizeInHour->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    lbSizeInHour->setPalette(navy);
    lbSizeInHour->setText(QStringLiteral("1000"));
    fitSizeLabel();

    Label7 = placeLabel(g, "Label7", 6, 186,
                        QString::fromUtf8("Максимальный размер файла с видео") +
                            QString(16, QLatin1Char('_')) + QString(2, QLatin1Char(' ')) +
                            QString::fromUtf8("мб"));
    seMAxFileSize = placeSpin(g, "seMAxFileSize", 232, 183, 50);
    seMAxFileSize->setToolTip(QString::fromUtf8(kMaxFileSizeHint));

    Label3 = placeLabel(g, "Label3", 6, 210,
                        QString::fromUtf8("Остановить запись, когда на диске меньше") +
                            QString(23, QLatin1Char(' ')) + QString::fromUtf8("мб"));
    seHDDSize = placeSpin(g, "seHDDSize", 232, 207, 50);

    CheckBox1 = place<QCheckBox>(g, "CheckBox1", 8, 231, 185, 17);
    CheckBox1->setText(QString::fromUtf8("Вести видеозапись рекурсивно"));
    CheckBox1->setToolTip(tooltipText(kRecursiveHint));

    // The labels with blanks and underscores run under the spin fields, which lie above them.
    for (zv::SpinEdit *spin : {seFrameDelay, seMAxFileSize, seHDDSize})
        spin->raise();
    Image1->raise();
    Image4->raise();

    btShowVideo = place<QPushButton>(this, "btShowVideo", 69, 264, 230, 41);
    btShowVideo->setText(QString::fromUtf8("Просмотр записанного ранее файла"));
    btShowVideo->setIcon(QIcon(zv::filmPicture({20, 24})));
    btShowVideo->setIconSize({20, 24});
    BitBtn2 = place<QPushButton>(this, "BitBtn2", 305, 264, 78, 41);
    BitBtn2->setText(QString::fromUtf8("Экспорт"));
    BitBtn1 = place<QPushButton>(this, "BitBtn1", 69, 309, 155, 32);
    BitBtn1->setText(QString::fromUtf8("Применить"));
    QIcon apply;
    apply.addPixmap(zv::applyPicture({18, 18}, true), QIcon::Normal);
    apply.addPixmap(zv::applyPicture({18, 18}, false), QIcon::Disabled);
    BitBtn1->setIcon(apply);
    BitBtn1->setDefault(true);
    btClose = place<QPushButton>(this, "btClose", 229, 309, 155, 32);
    btClose->setText(QString::fromUtf8("Закрыть"));
    btClose->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    sdFileName = new QFileDialog(this);
    sdFileName->setObjectName(QStringLiteral("sdFileName"));
    prepareZvfDialog(sdFileName, QFileDialog::AcceptSave);
    odFileName = new QFileDialog(this);
    odFileName->setObjectName(QStringLiteral("odFileName"));
    prepareZvfDialog(odFileName, QFileDialog::AcceptOpen);
}

void TVideoForm::arrangeTabOrder() {
    const QWidget *order[] = {btClose,       btShowVideo, edFileForRec, seFrameDelay, seHDDSize,
                              rbQualityNorm, rbQualityHi, cbStart,      RxSwitch1,    seMAxFileSize,
                              CheckBox1,     bGo,         bStop,        bAddAuto,     bDelAuto,
                              BitBtn1,       BitBtn2};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget *>(order[i]), const_cast<QWidget *>(order[i + 1]));
}

void TVideoForm::connectHandlers() {
    connect(seFrameDelay, &QSpinBox::valueChanged, this, [this] { seFrameDelayChange(); });
    // Checking a radio button, by the operator or by LoadSettings, is its click.
    for (QRadioButton *rb : {rbQualityNorm, rbQualityHi}) {
        connect(rb, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked)
                seFrameDelayChange();
        });
    }
    connect(cbStart, &QCheckBox::toggled, this, [this] { cbStartClick(); });
    connect(RxSwitch1, &zv::Switch::clicked, this, [this] { RxSwitch1Click(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(btShowVideo, &QPushButton::clicked, this, [this] { btShowVideoClick(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);

    connect(bGo, &QPushButton::clicked, this, [this] { bGoClick(); });
    connect(bStop, &QPushButton::clicked, this, [this] { bStopClick(); });
    connect(bAddAuto, &QPushButton::clicked, this, [this] { bAddAutoClick(); });
    connect(bDelAuto, &QPushButton::clicked, this, [this] { bDelAutoClick(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    for (zv::Picture *picture : {Image1, Image2})
        connect(picture, &zv::Picture::clicked, this, [this] { Image2Click(); });
    for (zv::Picture *picture : {Image3, Image4})
        connect(picture, &zv::Picture::pressed, this, [this] { Image3MouseDown(); });
}

void TVideoForm::fitSizeLabel() {
    const int textWidth = lbSizeInHour->fontMetrics().horizontalAdvance(lbSizeInHour->text());
    lbSizeInHour->resize(std::max(24, textWidth + 2), std::max(15, lbSizeInHour->height()));
}

void TVideoForm::LoadSettings() {
    zv::readRecordingSettings(ConfigFileName(), settings_);
    edFileForRec->setText(QString::fromStdString(settings_.OutFile));
    (settings_.BitRate == 4 ? rbQualityNorm : rbQualityHi)->setChecked(true);
    seFrameDelay->setValue(settings_.WaitForNextFrame);
    seHDDSize->setValue(settings_.MinHDDSize);
    cbStart->setChecked(settings_.EnableRec);
    seMAxFileSize->setValue(settings_.MaxFileSize);
    CheckBox1->setChecked(settings_.RecursiveRecord);
}

void TVideoForm::SaveSettings() {
    TRecordingSettings applied = settings_;
    applied.OutFile = edFileForRec->text().toStdString();
    applied.BitRate = rbQualityNorm->isChecked() ? 4 : 8;
    applied.WaitForNextFrame = seFrameDelay->AsInteger();
    applied.MinHDDSize = seHDDSize->AsInteger();
    applied.EnableRec = cbStart->isChecked();
    applied.MaxFileSize = seMAxFileSize->AsInteger();
    applied.RecursiveRecord = CheckBox1->isChecked();
    // The record takes the new values only once they are in the file, so that the monitoring
    // never works with settings the recorder does not have.
    zv::saveRecordingSettings(ConfigFileName(), applied);
    settings_ = applied;
}

void TVideoForm::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TVideoForm::hideEvent(QHideEvent *event) {
    if (!event->spontaneous()) {
        FormClose();
        FormPlacement1->save();
    }
    QDialog::hideEvent(event);
}

void TVideoForm::FormShow() {
    Timer1->start();
    ServiceRunning = IsServiceRunning();

    seFrameDelayChange();
    if (std::optional<bool> zero = zv::hostAnswersZero(hostQuery_, zv::kHostQueryServiceButtons)) {
        for (QPushButton *b : {bGo, bStop, bAddAuto, bDelAuto})
            b->setVisible(*zero);
    }
}

void TVideoForm::BitBtn1Click() {
    const QString fileName = edFileForRec->text();
    if (!QLocale().toUpper(fileName).contains(QStringLiteral(".ZVF")))
        edFileForRec->setText(fileName + QStringLiteral(".zvf"));
    zv::showFailureOf([this] { SaveSettings(); },
                      "Не удалось сохранить настройки: ", zv::MessageKind::TopMost);
}

QString TVideoForm::runFileDialog(QFileDialog &dialog, bool keepName) {
    if (!keepName)
        dialog.setProperty(kChosenName, QString());
    if (dialog.property(kChosenName).toString().isEmpty()) {
        // selectFile ignores an empty name: the name box of Qt's own dialog is cleared instead.
        if (auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->clear();
        // Start where the recording file lies, when that folder exists.
        const std::string folder = zv::folderPart(edFileForRec->text().toStdString());
        if (!folder.empty() && zv::directoryExists(folder))
            dialog.setDirectory(QString::fromStdString(zv::nativePath(folder)));
    }
    const QString chosen = runDialog_ ? runDialog_(dialog) : QString();
    // Offered again by a dialog that keeps its name; a cancelled dialog keeps the last one.
    if (!chosen.isEmpty()) {
        dialog.setProperty(kChosenName, chosen);
        dialog.selectFile(chosen);
    }
    // The operator's name of the choice: "C:\…" for a file on a mapped drive.
    return QString::fromStdString(zv::operatorPath(chosen.toStdString()));
}

void TVideoForm::SpeedButton1Click() {
    const QString chosen = runFileDialog(*sdFileName);
    if (!chosen.isEmpty())
        edFileForRec->setText(chosen);
}

void TVideoForm::seFrameDelayChange() {
    const double estimate =
        zv::hourlySizeEstimate(seFrameDelay->value(), rbQualityNorm->isChecked());
    lbSizeInHour->setText(zv::formatFixed2(estimate, QLocale().decimalPoint()));
    fitSizeLabel();
}

void TVideoForm::cbStartClick() {
    RxSwitch1->setStateOn(cbStart->isChecked());
}

void TVideoForm::RxSwitch1Click() {
    cbStart->setChecked(!cbStart->isChecked());
    cbStartClick();
}

void TVideoForm::btShowVideoClick() {
    const QString chosen = runFileDialog(*odFileName);
    if (chosen.isEmpty() || !showFile_)
        return;
    zv::showFailureOf([&] { showFile_(chosen.toStdString()); }, {}, zv::MessageKind::TopMost);
}

void TVideoForm::FormClose() {
    // The marks stay as they stand until the next showing.
    Timer1->stop();
}

bool TVideoForm::IsServiceRunning() {
    return zv::isRecorderRunning(*services_.windows);
}

bool TVideoForm::StopService() {
    return zv::stopRecorder(*services_.windows);
}

bool TVideoForm::RunKeyAction(const std::string &valueName, int action) {
    return zv::runKeyAction(*services_.autostart, valueName, action);
}

bool TVideoForm::waitWithEvents() {
    // The window may be destroyed by an event handled here; nothing of it is used after that.
    QPointer<TVideoForm> alive(this);
    zv::Clock &clock = *services_.clock;
    for (int round = 0; round < zv::kWaitRounds; ++round) {
        clock.sleepMs(zv::kWaitStepMs);
        QCoreApplication::processEvents();
        if (!alive)
            return false;
    }
    return true;
}

namespace {

// The caption's colour of an enabled button; a disabled one keeps its grey.
void setCaptionColour(QPushButton *button, QColor colour) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Active, QPalette::ButtonText, colour);
    palette.setColor(QPalette::Inactive, QPalette::ButtonText, colour);
    button->setPalette(palette);
}

}  // namespace

void TVideoForm::showWaiting(QPushButton *button) {
    setCaptionColour(button, QColor(0, 0, 255));
    button->setText(QString::fromUtf8(kWaitCaption));
}

void TVideoForm::showIdle(QPushButton *button, const char *caption) {
    setCaptionColour(button, QColor(0, 0, 0));
    button->setText(QString::fromUtf8(caption));
}

void TVideoForm::bGoClick() {
    showWaiting(bGo);
    if (zv::fileExists(zv::kRecorderExecutable)) {
        // Whether the recorder came up shows at the next full check.
        services_.processes->startDetached(zv::nativePath(zv::kRecorderExecutable));
        if (!waitWithEvents())
            return;
    } else {
        zv::showMessage(kNoRecorderMessage, zv::MessageKind::TopMost);
    }
    showIdle(bGo, kGoCaption);
}

void TVideoForm::bStopClick() {
    showWaiting(bStop);
    StopService();
    if (!waitWithEvents())
        return;
    showIdle(bStop, kStopCaption);
}

void TVideoForm::bAddAutoClick() {
    RunKeyAction(zv::kAutostartValueName, zv::kRunKeyAdd);
    Timer1Timer();
}

void TVideoForm::bDelAutoClick() {
    RunKeyAction(zv::kAutostartValueName, zv::kRunKeyDelete);
    Timer1Timer();
}

void TVideoForm::Timer1Timer() {
    if (!ServiceRunning || RecorderIdle)
        Image1->setHidden(!Image1->isHidden());
    if (LowDiskSpace)
        Image4->setHidden(!Image4->isHidden());
    if (!zv::fullCheckDue(services_.clock->tickCount(), LastCheckTick))
        return;
    checkRecorder();
    checkAutostart();
    checkDiskSpace();
    LastCheckTick = services_.clock->tickCount();
}

void TVideoForm::checkRecorder() {
    const zv::RecorderActivity activity =
        zv::recorderActivity(*services_.windows, settings_.EnableRec);
    ServiceRunning = activity.running;
    RecorderIdle = activity.idle;
    Image1->setToolTip(RecorderIdle ? idleHint(activity.reason) : tooltipText(kRecorderMarkHint));
    idleReason_ = activity.idle ? activity.reason : std::string();
    Image1->setHidden(ServiceRunning && !RecorderIdle);
    bGo->setEnabled(!ServiceRunning);
    bStop->setEnabled(ServiceRunning);
}

void TVideoForm::checkAutostart() {
    const bool registered = RunKeyAction(zv::kAutostartValueName, zv::kRunKeyTest);
    bAddAuto->setEnabled(!registered);
    bDelAuto->setEnabled(registered);
}

void TVideoForm::checkDiskSpace() {
    // The settings as last loaded or applied, which are the recorder's, not the controls'.
    LowDiskSpace = zv::lowDiskSpace(*services_.freeSpace, settings_.OutFile, settings_.MinHDDSize);
    if (!LowDiskSpace)
        Image4->hide();
}

void TVideoForm::Image2Click() {
    std::string text = tooltipText(kRecorderHint).toStdString();
    if (RecorderIdle)
        text = idleHint(idleReason_).toStdString() + "\n\n" + text;
    zv::showMessage(text, zv::MessageKind::TopMost);
}

void TVideoForm::Image3MouseDown() {
    zv::showMessage(tooltipText(kDiskHint).toStdString(), zv::MessageKind::TopMost);
}

void TVideoForm::BitBtn2Click() {
    // The open dialog is shared with the viewer button and offers the name last chosen in it.
    const QString chosen = runFileDialog(*odFileName, true);
    if (chosen.isEmpty() || !exportFile_)
        return;
    zv::showFailureOf([&] { exportFile_(chosen.toStdString()); }, {}, zv::MessageKind::TopMost);
}
