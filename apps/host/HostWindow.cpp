#include "HostWindow.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include "PluginLibrary.h"

HostWindow::HostWindow(PluginLibrary &plugin, const QString &description) : plugin_(plugin) {
    setObjectName(QStringLiteral("HostWindow"));
    setWindowTitle(QString::fromUtf8("АРМ оператора АЗС — демонстрационный хост"));
    resize(720, 420);

    menu_ = menuBar()->addMenu(QString::fromUtf8("&Сервис"));
    open_ =
        menu_->addAction(QString::fromUtf8("Открыть запись…"), this, &HostWindow::openRecording);
    open_->setShortcut(QKeySequence::Open);
    menu_->addSeparator();
    quit_ = menu_->addAction(QString::fromUtf8("Выход"), this, &QWidget::close);
    quit_->setShortcut(QKeySequence::Quit);

    auto *text = new QLabel(description, this);
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    text->setMargin(24);
    setCentralWidget(text);
    statusBar()->showMessage(QString::fromUtf8("Модуль: ") +
                             QString::fromStdString(plugin_.path()));
}

QAction *HostWindow::pluginEntry() const {
    for (QAction *action : menu_->actions()) {
        if (action != open_ && action != quit_ && !action->isSeparator())
            return action;
    }
    return nullptr;
}

void HostWindow::openRecording() {
    const QString file =
        QFileDialog::getOpenFileName(this, QString::fromUtf8("Открыть запись"), QString(),
                                     QString::fromUtf8("Видеозаписи (*.zvf *.ZVF);;Все файлы (*)"));
    if (!file.isEmpty())
        plugin_.showFile(file.toUtf8().constData());
}
