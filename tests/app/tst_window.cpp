// SPDX-License-Identifier: MIT
// The real window against morvane-sim: panels, keys, focus, what a screen reader hears.
#include "fakeline.h"
#include "formprobe.h"
#include "mainform.h"
#include "messageerror.h"
#include "portlock.h"
#include "simprocess.h"
#include "testdata.h"
#include "windowwaiter.h"

#include <QAccessible>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QToolTip>

using namespace morvane;
using namespace morvane::test;

static double contrast(QRgb a, QRgb b) { // as accessibility guidelines define it
    const auto luminance = [](QRgb c) {
        const auto linear = [](int v) {
            const double s = v / 255.0;
            return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c));
    };
    const auto [lo, hi] = std::minmax({luminance(a), luminance(b)});
    return (hi + 0.05) / (lo + 0.05);
}

// A key, double-click or press action: on the shown caption, a named or the focused control.
struct Way {
    bool caption = false, action = false;
    const char* on = nullptr;
    QKeyCombination key = {};
    QPoint doubleClick = {};
};

const Editor kNowEditor = {"現在", "水　", "09", "05", "07"}; // Wednesday 09:05:07

Q_DECLARE_METATYPE(Way)

class TstWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QStringList messages_, details_;
    SimProcess sim_;
    qsizetype seen_ = 0;
    std::unique_ptr<MainForm> form_;

    QString path(const QString& name) const { return dir_->filePath(name); }
    QWidget* ctl(const char* name) { return control(form_.get(), name); }
    QListWidget* list() { return control<QListWidget>(form_.get(), "List1"); }
    QPoint rowAt(int row) { return list()->visualItemRect(list()->item(row)).center(); }
    void load() {
        form_ = std::make_unique<MainForm>();
        form_->setNowProvider([] { return QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7)); });
        form_->Form_Load();
    }
    void start(const QStringList& args = {}) {
        QVERIFY(putFile(path("table"), kSimTable));
        QVERIFY(sim_.start(QStringList{"--link", path("COM1"), "--table", path("table")} + args));
        load();
        sent(); // start-up's own
    }
    QStringList sent() { // what the device received since the last call
        const QStringList all = sim_.loggedCommands();
        return all.mid(std::exchange(seen_, all.size()));
    }
    void click(const char* name) { QTest::mouseClick(ctl(name), Qt::LeftButton); }
    void press(const Way& way) {
        QWidget* on = way.caption ? ctl(ctl("Frame2")->isVisible() ? "Frame2" : "Frame4")
                      : way.on    ? ctl(way.on)
                                  : form_->focusWidget();
        if (!way.doubleClick.isNull())
            return QTest::mouseDClick(on, Qt::LeftButton, {}, way.doubleClick);
        if (way.action) {
            auto* a = QAccessible::queryAccessibleInterface(on)->actionInterface();
            QVERIFY(a);
            return a->doAction(QAccessibleActionInterface::pressAction());
        }
        // Without a window manager nothing re-activates the window after a menu.
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        on->setFocus();
        QTimer::singleShot(0, this, [] { // a menu's entry chosen as a user would
            if (QWidget* menu = QApplication::activePopupWidget())
                QTest::keySequence(menu, QKeySequence(Qt::Key_Down, Qt::Key_Return));
        });
        if (way.key.key() != Qt::Key_Menu)
            return QTest::keyClick(on, way.key.key(), way.key.keyboardModifiers());
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint()); // as it comes
        QCoreApplication::sendEvent(on, &menuKey);
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir_->path()));
        messages_ = details_ = QStringList();
        setMessageErrorRecorder([this](const QString& m, const QString& d) {
            messages_ << m;
            details_ << d;
        });
        QVERIFY(putFile(path("Morvane.SYS"), "COMPORT,1,\r\n")); // no first-start message
    }
    void cleanup() {
        form_.reset();
        sim_.stop();
        QDir::setCurrent(QDir::tempPath()); // out of the folder about to go
    }

    // Only the missing file told, sending left on; a refusal says who held the port.
    void firstStartWithThePortHeld() {
        QFile::remove(path("Morvane.SYS"));
        QVERIFY(sim_.start({"--link", path("COM1")}));
        DeviceLock other;
        QCOMPARE(other.take(sim_.path()), DeviceLock::Result::kTaken);
        load();
        QCOMPARE(messages_, QStringList{QStringLiteral("ファイル名が見つかりません。")});
        QCOMPARE(list()->count(), 0);
        COMPARE_SEND_CONTROLS(form_.get(), true);
        other.release();
        click("Command2");
        QCOMPARE(messages_.value(1), kMsgSetUpPortAgain);
        for (const char* fact :
             {"起動したとき", "（tst_window、プロセス番号 ", "今は使われていません"})
            QVERIFY2(details_.value(1).contains(QString::fromUtf8(fact)), fact);
        click("Command2"); // the second refusal shows as the first
        QCOMPARE(messages_.size(), 3);
        QCOMPARE(sim_.loggedCommands(), QStringList());
    }

    // A restore lets events run: clicks coming in then are ignored, a close waits.
    void mainPanel() {
        start();
        QCOMPARE(form_->focusWidget(), list()); // the keyboard starts on the list
        QCOMPARE(control<MSComm>(form_.get(), "MSComm1"), &form_->MSComm1); // named, as a control
        QCOMPARE(listRows(form_.get()).mid(1), kSimRows);
        COMPARE_EDITOR(form_.get(), kNowEditor);
        // All eleven rows show without scrolling, whatever the face.
        QVERIFY(list()->viewport()->rect().contains(list()->visualItemRect(list()->item(10))));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowAt(4));
        QCOMPARE(sent(), QStringList{"L3"});
        // Only bit 0x80 of the flag byte counts here; 0x09 is not enabled.
        COMPARE_EDITOR(form_.get(), {"予約3", "火　", "7", "30", "0", Qt::Unchecked});
        QTest::keySequence(list(), QKeySequence(Qt::Key_Down, Qt::Key_Space));
        QCOMPARE(sent(), QStringList{"L4"});
        COMPARE_EDITOR(form_.get(), {"予約4", "毎日", "6", "30", "0", Qt::Checked});
        control<QComboBox>(form_.get(), "Combo1(0)")->setEditText("21");
        control<QComboBox>(form_.get(), "Combo1(1)")->setEditText("5");
        control<QCheckBox>(form_.get(), "Check1(1)")->setCheckState(Qt::Unchecked);
        click("Command2");
        QCOMPARE(sent(), QStringList{"D40715050000"} + kTableRead);
        list()->item(0)->setText("stale");
        // The clock row: the editor back on the PC's time, a fresh clock.
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowAt(0));
        QCOMPARE(sent(), (QStringList{"QT", "QS"}));
        COMPARE_EDITOR(form_.get(), kNowEditor);
        QVERIFY(list()->item(0)->text().startsWith(QStringLiteral("現在 :")));
        QVERIFY(putFile(path("Morvane.DAT"), cp932Lines(kSimRows.mid(0, 2))));
        form_->Frame2_DblClick();
        QTimer::singleShot(0, this, [this] {
            click("Command3");
            form_->Command2_Click();
            form_->Command1_Click(0);
            form_->Frame4_DblClick();
            QVERIFY(!form_->close());
        });
        click("Command3");
        QCOMPARE(sent(), (QStringList{"QT", "QS", "N 03090507", "D00000000000", "D10108000081",
                                      "QT", "QS"}));
        QVERIFY(ctl("Frame4")->isVisible());
        QVERIFY(form_->MSComm1.PortOpen());
        QTRY_VERIFY(!form_->isVisible()); // the close, carried out afterwards
        QVERIFY(!form_->MSComm1.PortOpen());
        QCOMPARE(messages_, QStringList());
    }

    // Every way to switch panels acts as a double-click, which counts on a frame
    // itself only; Return and Enter press the focused button, and confirm in a box.
    void keys_data() {
        columns<bool, Way, bool, QStringList>({"fromSystem", "way", "toSystem", "sent"});
        const auto row = [](QString name, bool from, Way way, bool to, QStringList sent = {}) {
            QTest::newRow(name.toLatin1()) << from << way << to << sent;
        };
        for (auto [name, way] :
             {std::pair{"caption Return", Way{.caption = true, .key = Qt::Key_Return}},
              {"caption Space", Way{.caption = true, .key = Qt::Key_Space}},
              {"Shift+F10", Way{.caption = true, .key = Qt::SHIFT | Qt::Key_F10}},
              {"Menu key menu", Way{.caption = true, .key = Qt::Key_Menu}},
              {"double-click", Way{.caption = true, .doubleClick = {30, 6}}},
              {"press action", Way{.caption = true, .action = true}},
              {"Ctrl+comma", Way{.key = Qt::CTRL | Qt::Key_Comma}}}) {
            row(name + QString(" in"), false, way, true);
            row(name + QString(" out"), true, way, false);
        }
        row("double-click on Combo2", false, {.on = "Combo2", .doubleClick = {5, 5}}, false);
        row("double-click on Label3(0)", false, {.on = "Label3(0)", .doubleClick = {3, 3}}, false);
        row("double-click in Frame3", false, {.on = "Frame3", .doubleClick = {300, 60}}, false);
        row("double-click on Label1(0)", true, {.on = "Label1(0)", .doubleClick = {3, 3}}, true);
        row("Escape out", true, {.key = Qt::Key_Escape}, false);
        row("Escape on the main panel", false, {.key = Qt::Key_Escape}, false);
        row("Return on Command2", false, {.on = "Command2", .key = Qt::Key_Return}, false,
            QStringList{"N 03090507"} + kTableRead);
        row("Enter on Command1(0)", true, {.on = "Command1(0)", .key = Qt::Key_Enter}, false,
            kTableRead);
        row("Return on Command1(1)", true, {.on = "Command1(1)", .key = Qt::Key_Return}, false);
        row("Return on Command3", true, {.on = "Command3", .key = Qt::Key_Return}, true,
            {"QT", "QS", "N 03090507", "D00000000000", "QT", "QS"});
        row("Return in Text3", true, {.on = "Text3", .key = Qt::Key_Return}, false, kTableRead);
        row("Enter in Text4", true, {.on = "Text4", .key = Qt::Key_Enter}, false, kTableRead);
    }
    void keys() {
        QFETCH(bool, fromSystem);
        QFETCH(Way, way);
        QFETCH(bool, toSystem);
        QVERIFY(putFile(path("Morvane.DAT"), cp932Lines(kSimRows.mid(0, 1))));
        start();
        for (const char* box : {"Text1", "Text2", "Text3", "Text4"})
            control<QLineEdit>(form_.get(), box)->setText("9"); // to be refilled on the way in
        if (fromSystem)
            form_->Frame2_DblClick();
        press(way);
        QCOMPARE(ctl("Frame4")->isVisible(), toSystem);
        QCOMPARE(ctl("Frame2")->isVisible(), !toSystem);
        QCOMPARE(form_->frameGeometry().height(), (toSystem ? 3800 : 6075) / 15);
        if (fromSystem != toSystem)
            QCOMPARE(form_->focusWidget(), ctl(toSystem ? "Text1" : "List1"));
        if (toSystem && !fromSystem) {
            QCOMPARE(control<QLineEdit>(form_.get(), "Text1")->text(), QStringLiteral(" 1"));
            QCOMPARE(control<QLineEdit>(form_.get(), "Text2")->text(), QStringLiteral(" 2"));
            QCOMPARE(control<QLineEdit>(form_.get(), "Text3")->text(), QStringLiteral(" 1"));
            QCOMPARE(control<QLineEdit>(form_.get(), "Text4")->text(), path("Morvane.DAT"));
        }
        QTEST(sent(), "sent");
        QCOMPARE(messages_, QStringList());
    }

    // What takes the focus has a tip; the window's own focus rings stand out at 3:1 all round.
    void controls_data() {
        using A = QAccessible;
        columns<QString, A::Role, QString, bool, int>(
            {"name", "role", "description", "ring", "count"});
        row("MainForm", "Morvane", A::Window, "", false, 0);
        row("Frame2", "<Main>", A::Grouping, "予約の編集と一覧", true, 0);
        row("Frame4", "<System>", A::Grouping, "設定画面", false, 0);
        row("Frame3", "設定値", A::Grouping, "編集", false, 0);
        row("Frame1", "タイマー設定一覧", A::Grouping, "時計と予約", false, 0);
        row("List1", "タイマー設定一覧", A::List, "予約0〜予約9", true, 11);
        row("Combo3", "予約番号", A::ComboBox, "現在", false, 11);
        row("Combo2", "曜日", A::ComboBox, "毎日", false, 8);
        row("Combo1(0)", "時", A::ComboBox, "0〜23", false, 24);
        row("Combo1(1)", "分", A::ComboBox, "0〜59", false, 60);
        row("Combo1(2)", "秒", A::ComboBox, "0〜59", false, 60);
        row("Check1(1)", "Timer Enable", A::CheckBox, "有効", true, 0);
        row("Command2", "設定送信", A::Button, "タイマーに送り", true, 0);
        row("Text1", "COM ポート番号", A::EditableText, "1 以上", false, 0);
        row("Text2", "タイムアウト", A::EditableText, "単位は秒。２秒以上設定", false, 0);
        row("Text3", "リトライ回数", A::EditableText, "単位は回。０回以上設定", false, 0);
        row("Text4", "バックアップファイル", A::EditableText, "パス", false, 0);
        row("Command1(0)", "決　定", A::Button, "保存", false, 0);
        row("Command1(1)", "中　止", A::Button, "戻ります", false, 0);
        row("Command3", "Back Up 読込", A::Button, "書き戻します", false, 0);
    }
    void controls() {
        QFETCH(QString, description);
        QFETCH(bool, ring);
        start(); // the boxes hold values, which must not stand for their names
        const QByteArray tag = QTest::currentDataTag();
        QWidget* w = tag == "MainForm" ? form_.get() : ctl(tag);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY(a);
        QString heard = a->text(QAccessible::Name); // a combo box's value, on Unix
        for (const auto& [label, relation] : a->relations(QAccessible::Label))
            if (a->role() == QAccessible::ComboBox && label->role() == QAccessible::StaticText)
                heard = label->text(QAccessible::Name);
        QTEST(heard, "name");
        QTEST(a->role(), "role");
        QTEST(w->property("count").toInt(), "count"); // a list's or combo box's entries
        QVERIFY2(a->text(QAccessible::Description).contains(description),
                 qPrintable(a->text(QAccessible::Description)));
        QVERIFY(!(w->focusPolicy() & Qt::TabFocus) || !w->toolTip().isEmpty());
        if (!ring)
            return;
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        list()->setCurrentRow(4);
        form_->focusWidget()->clearFocus();
        const QImage before = w->grab().toImage();
        QImage blank(before.size(), before.format()); // the control draws itself, not only a ring
        blank.fill(before.pixel(0, 0));
        QVERIFY(before != blank);
        w->setFocus();
        const QImage after = w->grab().toImage();
        QPolygon strong; // the pixels the focus changed at 3:1 or more
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x)
                if (contrast(after.pixel(x, y), before.pixel(x, y)) >= 3.0)
                    strong << QPoint(x, y);
        const QRect around = strong.boundingRect();
        QCOMPARE_GE(around.width(), 10);
        QCOMPARE_GE(around.height(), 10);
        QCOMPARE_GE(strong.size(), 2 * (around.width() + around.height()) - 4);
        QCOMPARE_LE(strong.size(), 4 * (around.width() + around.height())); // one ring, no more
        // Inside the ring nothing changes: a focused button is no default button.
        QCOMPARE(after.pixel(6, after.height() / 2), before.pixel(6, before.height() / 2));
    }

    // A box's labels are its labels to a screen reader; a frame's tip is its own.
    void labelsAndTips() {
        load();
        QStringList labels;
        for (const auto& [label, relation] :
             QAccessible::queryAccessibleInterface(ctl("Text2"))->relations(QAccessible::Label))
            labels << label->text(QAccessible::Name);
        labels.sort();
        QCOMPARE(labels, (QStringList{"<System>", "Timeout", "秒", "２秒以上設定"}));
        const auto tipAt = [this](const QPoint& at) {
            QHelpEvent e(QEvent::ToolTip, at, ctl("Frame2")->mapToGlobal(at));
            QCoreApplication::sendEvent(ctl("Frame2"), &e);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipAt(ctl("Combo2")->mapTo(ctl("Frame2"), QPoint(5, 5))), QString());
        QVERIFY(tipAt(QPoint(200, 360)).startsWith(QStringLiteral("ダブルクリックで")));
    }

    // A port that opens switches sending (greyed while off) on, the editor to the PC's time.
    void confirmSettings() {
        start({"--fail", "L5"});
        COMPARE_SEND_CONTROLS(form_.get(), false);
        for (auto [name, role] :
             {std::pair{"Command2", QPalette::ButtonText}, {"Check1(1)", QPalette::WindowText}})
            QVERIFY2(ctl(name)->palette().color(QPalette::Disabled, role) != Qt::black, name);
        // The check box's box is as white as the list on the grey window.
        QCOMPARE(ctl("Check1(1)")->palette().base(), list()->palette().base());
        SimProcess second;
        QVERIFY(second.start({"--link", path("COM2")}));
        control<QComboBox>(form_.get(), "Combo3")->setCurrentIndex(3);
        control<QComboBox>(form_.get(), "Combo1(0)")->setEditText("21");
        form_->Frame2_DblClick();
        const auto confirm = [this](const char* port, const char* timeOut) {
            control<QLineEdit>(form_.get(), "Text1")->setText(port);
            control<QLineEdit>(form_.get(), "Text2")->setText(timeOut);
            click("Command1(0)");
            return form_->focusWidget() ? form_->focusWidget()->objectName() : QString();
        };
        QCOMPARE(confirm("abc", "2"), QStringLiteral("Text1"));
        QCOMPARE(confirm("2", "1"), QStringLiteral("Text2"));
        confirm("2", "3");
        QCOMPARE(messages_, (QStringList{"COM ポートが無効です。",
                                         "タイムアウト時間は２秒以上を設定してください。"}));
        QCOMPARE(second.loggedCommands(), kTableRead);
        QVERIFY(ctl("Frame2")->isVisible());
        COMPARE_SEND_CONTROLS(form_.get(), true);
        COMPARE_EDITOR(form_.get(), kNowEditor);
        QCOMPARE(readAll(path("Morvane.SYS")),
                 sysFileBytes("2", "3", "1", path("Morvane.DAT").toUtf8()));
    }

    // A wait is spent in the window's loop, not on the line as well once the loop is left.
    void waitInTheLoopOnly() {
        MSComm comm;
        FakeClock clock;
        FakeLine line(clock);
        WindowWaiter waiter(comm);
        waiter.waitForInput(line, 30);
        line.failAt(clock.now() + 10); // during the plain wait of a wait that follows: over then
        bool looped = false;
        QTimer::singleShot(0, &comm, [&] { looped = true; }); // gone with comm
        waiter.waitForInput(line, 1000);
        QCOMPARE(line.waitCalls, 1);
        QVERIFY(!looped);
    }

    // Unasked text is taken in silently. While the real box is open the window
    // takes no input, yet is not blocked, so that a close asked for is not lost.
    void unsolicitedTextAndTheErrorBox() {
        start({"--unsolicited", "READY", "--every", "1000"});
        QTRY_COMPARE(form_->link.RecBuf, QStringLiteral("READY*\r"));
        QCOMPARE(messages_, QStringList());
        setMessageErrorRecorder({});
        QTimer::singleShot(0, [this] {
            auto* box = control<QMessageBox>(form_.get(), "MessageError");
            const auto ok = qScopeGuard([box] { box->button(QMessageBox::Ok)->click(); });
            QCOMPARE(QGuiApplication::modalWindow(), nullptr);
            click("Command2");
            QCOMPARE(box->windowTitle(), QStringLiteral("Error Message"));
            QCOMPARE(box->text(), kMsgTimeOut);
            QCOMPARE(box->informativeText(), QStringLiteral("detail"));
        });
        MessageError(kMsgTimeOut, "detail");
        QCOMPARE(sent(), QStringList());
    }
};

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
