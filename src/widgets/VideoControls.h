#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPixmap>

// Controls and pictures of the settings and export windows that are not the windows themselves.

namespace zv {

// A check box whose caption wraps within its width, with the box vertically centred, as the
// original's word-wrapped check boxes look. A click anywhere on it toggles it.
class WrapCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};

// A picture that reports the operator's mouse: pressed() for a press of any button, clicked()
// for a left-button press and release on it.
class Picture : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void pressed();
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool leftDown_ = false;
};

// The pictures of the recorder and disk indicators, painted at the given size: the recorder (a
// camera), the disk (a drive), and the mark laid over either while something is wrong (a red
// cross on a transparent ground).
QPixmap recorderPicture(QSize size);
QPixmap diskPicture(QSize size);
QPixmap alarmMarkPicture(QSize size);
// Small pictures of the buttons: a folder (file choice), a film strip (viewer) and a tick
// (apply).
QPixmap folderPicture(QSize size);
QPixmap filmPicture(QSize size);
QPixmap applyPicture(QSize size, bool enabled = true);

}  // namespace zv
