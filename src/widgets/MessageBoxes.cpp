#include "widgets/MessageBoxes.h"

#include <QMessageBox>
#include <QString>

#include "platform/Messages.h"

namespace zv {

void installMessageBoxes() {
    setMessageHandler([](const std::string &text, MessageKind kind) {
        QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromStdString(text),
                        QMessageBox::Ok);
        box.setWindowModality(Qt::ApplicationModal);
        if (kind == MessageKind::TopMost)
            box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
        box.exec();
    });
}

}  // namespace zv
