#pragma once

#include <QWidget>

namespace zv {

// A two-state switch (a stand-in for the original UI library's switch control): a vertical
// slot with a knob at the top when on and at the bottom when off. A mouse click or Space turns
// it over and then emits clicked(); setStateOn() from code emits nothing, so a handler of
// clicked() can set the final state without recursion.
class Switch : public QWidget {
    Q_OBJECT
public:
    explicit Switch(QWidget *parent = nullptr);

    bool stateOn() const { return on_; }
    void setStateOn(bool on);

    QSize sizeHint() const override { return {26, 40}; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void toggleByOperator();

    bool on_ = false;
    bool pressed_ = false;
};

}  // namespace zv
