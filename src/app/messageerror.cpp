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

void SetMessageErrorRecorder(std::function<void(const QString&)> r) {
    recorder() = std::move(r);
}

void MessageError(const QString& Buff) {
    if (recorder()) {
        recorder()(Buff);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Error Message"), Buff, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MessageError"));
    // A device wait may have put up the wait cursor; the box wants the pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();
}

} // namespace morvane
