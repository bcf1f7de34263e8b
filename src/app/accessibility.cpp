// SPDX-License-Identifier: MIT
#include "accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>

namespace morvane {

namespace {

// A control's texts for assistive technology and the pointer. An empty name
// keeps the one the toolkit takes from the control's own caption; an empty
// tip is the description's.
struct ControlTexts {
    const char* control;
    const char* name;
    const char* description;
    const char* tip;
};

// In the window's language; a caption that already says what a control is
// (buttons, frames, the check box) stays its name.
const ControlTexts kControlTexts[] = {
    {"Frame2", "", "予約の編集と一覧の画面",
     "ダブルクリックで「<System>」の設定画面に切り替えます（Ctrl+, でも）"},
    {"Frame4", "", "ポート、タイムアウト、リトライ、バックアップファイルの設定画面",
     "ダブルクリックで「<Main>」の画面に戻ります（Esc でも）"},
    {"Frame3", "設定値", "予約または時計の編集", ""},
    {"Frame1", "タイマー設定一覧", "タイマーから読んだ時計と予約", ""},
    {"Frame5", "BackUpFile", "バックアップファイル", ""},
    {"List1", "タイマー設定一覧",
     "1 行目はタイマーの時計、続く 10 行は予約0〜予約9。行を選ぶとタイマーから読み込みます", ""},
    {"Combo3", "予約番号", "予約0〜予約9、または現在（タイマーの時計）",
     "送る予約、または時計（現在）"},
    {"Combo2", "曜日", "日〜土、または毎日", ""},
    {"Combo1(0)", "時", "0〜23", "時（0〜23）"},
    {"Combo1(1)", "分", "0〜59", "分（0〜59）"},
    {"Combo1(2)", "秒", "0〜59", "秒（0〜59）"},
    {"Check1(1)", "", "チェックすると予約が有効になります", ""},
    {"Command2", "", "予約または時計をタイマーに送り、一覧を読み直してバックアップします", ""},
    {"Text1", "COM ポート番号", "1 以上の番号", "COM ポートの番号"},
    {"Text2", "タイムアウト", "単位は秒。２秒以上設定", "応答を待つ秒数（２秒以上）"},
    {"Text3", "リトライ回数", "単位は回。０回以上設定", "送信を試みる回数"},
    {"Text4", "バックアップファイル", "予約の一覧を保存するファイルのパス", ""},
    {"Command1(0)", "", "設定を保存し、ポートを開き直して一覧を読み直します", ""},
    {"Command1(1)", "", "何も保存せずに「<Main>」の画面に戻ります（Esc でも）", ""},
    {"Command3", "", "バックアップファイルの予約をタイマーに書き戻します", ""},
};

// Labels and the boxes they describe: the caption, the unit and the hint.
const std::pair<const char*, const char*> kLabelBoxes[] = {
    {"Label1(0)", "Text1"}, {"Label1(1)", "Text2"}, {"Label4(0)", "Text2"}, {"Label2(0)", "Text2"},
    {"Label1(2)", "Text3"}, {"Label4(1)", "Text3"}, {"Label2(1)", "Text3"},
};

// The frame's switch as the one action a screen reader offers on it.
class FrameAccessible final : public QAccessibleWidget {
public:
    explicit FrameAccessible(Frame* f) : QAccessibleWidget(f, QAccessible::Grouping) {}
    QString text(QAccessible::Text t) const override {
        const QString own = QAccessibleWidget::text(t);
        return t == QAccessible::Name && own.isEmpty() ? frame()->title() : own;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << pressAction();
    }
    void doAction(const QString& action) override {
        if (action == pressAction())
            emit frame()->switchRequested();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    Frame* frame() const { return static_cast<Frame*>(widget()); }
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object) {
    if (className == QLatin1String("morvane::MainForm"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    if (className == QLatin1String("morvane::Frame"))
        return new FrameAccessible(static_cast<Frame*>(object));
    return nullptr;
}

// On Linux and other Unix systems a combo box's accessible name is its value;
// screen readers take what the box is from a label that names it as its
// buddy. The editor's boxes have no visible label: each gets a hidden one.
void labelComboBox(QComboBox* box, const QString& name) {
    auto* label = new QLabel(name, box->parentWidget());
    label->setObjectName(box->objectName() + QStringLiteral(".label"));
    label->setBuddy(box);
    label->hide();
}

} // namespace

void describeControls(QWidget* form) {
    for (const ControlTexts& t : kControlTexts) {
        auto* w = form->findChild<QWidget*>(QLatin1String(t.control));
        if (!w)
            continue;
        const QString name = QString::fromUtf8(t.name);
        if (!name.isEmpty())
            w->setAccessibleName(name);
        if (auto* box = qobject_cast<QComboBox*>(w))
            labelComboBox(box, name);
        w->setAccessibleDescription(QString::fromUtf8(t.description));
        w->setToolTip(QString::fromUtf8(*t.tip ? t.tip : t.description));
    }
    for (const auto& [label, box] : kLabelBoxes)
        if (auto* l = form->findChild<QLabel*>(QLatin1String(label)))
            l->setBuddy(form->findChild<QWidget*>(QLatin1String(box)));
}

void installAccessibleRoles() {
    static const bool installed = (QAccessible::installFactory(accessibleFor), true);
    Q_UNUSED(installed);
}

} // namespace morvane
