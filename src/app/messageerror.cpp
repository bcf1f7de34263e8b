#include "messageerror.h"

#include <QApplication>
#include <QMessageBox>

namespace morvane {

namespace {
std::function<void(const QString&)>& recorder() {
    static std::function<void(const QString&)> r;
    return r;
}
} // namespace

void setMessageErrorRecorder(std::function<void(const QString&)> r) {
    recorder() = std::move(r);
}

void MessageError(const QString& Buff, const QString& detail) {
    if (recorder()) {
        recorder()(Buff);
        return;
    }
    // Over the program's window, also when no window manager made it active.
    QWidget* parent = QApplication::activeWindow();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!parent && w->isVisible() && !qobject_cast<QMessageBox*>(w))
            parent = w;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Error Message"), Buff, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("MessageError"));
    box.setInformativeText(detail);
    // A device wait may have put up the wait cursor; the box wants the pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();
}

} // namespace morvane
