// SPDX-License-Identifier: MIT
#include "messageerror.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>

namespace morvane {

namespace {

MessageRecorder& recorder() {
    static MessageRecorder r;
    return r;
}

// Holds back the user's input to every window but the box, as a modal box
// would, without the toolkit blocking those windows: a blocked window drops
// the close its user asks for meanwhile, and the program is to carry that
// close out once the action that showed the box has ended.
class InputHold final : public QObject {
public:
    explicit InputHold(const QWidget* box) : box_(box) { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd: {
            const auto* w = qobject_cast<const QWidget*>(watched);
            return w && w->window() != box_;
        }
        default:
            return false;
        }
    }

private:
    const QWidget* box_;
};

} // namespace

void setMessageErrorRecorder(MessageRecorder r) {
    recorder() = std::move(r);
}

void MessageError(const QString& Buff, const QString& detail) {
    if (recorder()) {
        recorder()(Buff, detail);
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
    box.setWindowModality(Qt::NonModal);
    const InputHold hold(&box);
    // A device wait may have put up the wait cursor; the box wants the pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.show();
    loop.exec(QEventLoop::DialogExec);
    QApplication::restoreOverrideCursor();
}

} // namespace morvane
