// SPDX-License-Identifier: MIT
// The real window, against morvane-sim where a device is needed: what only
// the window shows (files at start-up, panels, enabled controls, clicks and
// keys reaching the right action, a close while busy), with the simulator's
// traffic log as evidence.
#include "formprobe.h"
#include "mainform.h"
#include "messageerror.h"
#include "portlock.h"
#include "simprocess.h"
#include "testdata.h"

#include <QAccessible>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace morvane;
using namespace morvane::test;

namespace {

// Relative luminance and contrast ratio, as accessibility guidelines define them.
double luminance(QRgb c) {
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c));
}

// The name a screen reader gives a control. On Unix a combo box's name is
// its value, and what it is comes from the label that names it as its buddy.
QString heardName(QAccessibleInterface* a) {
#ifdef Q_OS_UNIX
    if (a->role() == QAccessible::ComboBox)
        for (const auto& [label, relation] : a->relations(QAccessible::Label))
            if (label->role() == QAccessible::StaticText)
                return label->text(QAccessible::Name);
#endif
    return a->text(QAccessible::Name);
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class TstWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString oldCwd_;
    QStringList messages_;
    QStringList details_;
    SimProcess sim_;
    std::unique_ptr<MainForm> form_;

    QString path(const QString& name) const { return dir_->filePath(name); }
    QWidget* ctl(const char* name) { return control(form_.get(), name); }
    QLineEdit* text(const char* name) { return control<QLineEdit>(form_.get(), name); }
    QListWidget* list() { return control<QListWidget>(form_.get(), "List1"); }
    // The simulator linked as COM1, then the window on Wednesday 09:05:07.
    void start(const QStringList& simArgs = {}) {
        QVERIFY(putFile(path("table.txt"), kSimTable));
        QVERIFY(sim_.start(QStringList{"--link", path("COM1"), "--table", path("table.txt")} +
                           simArgs));
        form_ = std::make_unique<MainForm>();
        form_->setNowProvider([] { return QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7)); });
        form_->Form_Load();
    }
    int mark() { return int(sim_.loggedCommands().size()); }
    QStringList sentSince(int mark) { return sim_.loggedCommands().mid(mark); }
    void clickRow(int row) {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualItemRect(list()->item(row)).center());
    }
    void click(const char* name) { QTest::mouseClick(ctl(name), Qt::LeftButton); }

private slots:
    void initTestCase() {
        oldCwd_ = QDir::currentPath();
        setMessageErrorRecorder([this](const QString& m, const QString& d) {
            messages_ << m;
            details_ << d;
        });
    }
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir_->path()));
        messages_.clear();
        details_.clear();
        QVERIFY(putFile(path("Morvane.SYS"), "COMPORT,1,\r\n")); // no first-start message
    }
    void cleanup() {
        form_.reset();
        sim_.stop();
        QDir::setCurrent(oldCwd_);
    }

    void firstStartWithoutDevice() {
        QFile::remove(path("Morvane.SYS"));
        QVERIFY(QFile::link(path("no-such-device"), path("COM1")));
        form_ = std::make_unique<MainForm>();
        form_->Form_Load();
        QCOMPARE(messages_, QStringList{QStringLiteral("ファイル名が見つかりません。")});
        QCOMPARE(readAll(path("Morvane.SYS")),
                 sysFileBytes("1", "2", "1", path("Morvane.DAT").toUtf8()));
        QVERIFY(form_->isVisible() && form_->windowTitle() == "Morvane");
        // A port that does not open: no message, an empty list, all enabled.
        QCOMPARE(form_->link.ComStatus, qint16(99));
        QVERIFY(list()->count() == 0 && sendControlsEnabled(form_.get()));
        click("Command2");
        QCOMPARE(messages_.value(1), kMsgSetUpPortAgain);
    }

    // Another program holds the port at start-up: silence then, as for any
    // port that does not open; each refused action after it says who held
    // the port, that it is free now, and how to open it.
    void portHeldAtStartUp() {
        QVERIFY(putFile(path("table.txt"), kSimTable));
        QVERIFY(sim_.start({"--link", path("COM1"), "--table", path("table.txt")}));
        DeviceLock other;
        QCOMPARE(other.take(sim_.path()), DeviceLock::Result::kTaken);
        form_ = std::make_unique<MainForm>();
        form_->Form_Load();
        QVERIFY(messages_.isEmpty() && list()->count() == 0 && sendControlsEnabled(form_.get()));
        other.release();
        click("Command2");
        click("Command2");
        QCOMPARE(messages_, (QStringList{kMsgSetUpPortAgain, kMsgSetUpPortAgain}));
        for (const char* fact : {"起動したとき", "（tst_window、プロセス番号 ",
                                 "今は使われていません", "「決　定」を押すとポートを開きます"})
            QVERIFY2(details_.value(1).contains(QString::fromUtf8(fact)),
                     qPrintable(details_.value(1)));
        QVERIFY(!details_.value(1).contains("ln -s"));
        QCOMPARE(sim_.loggedCommands(), QStringList());
    }

    void startupListsAndRowClicks() {
        start();
        QCOMPARE(sim_.loggedCommands(), kTableRead);
        QCOMPARE(listRows(form_.get()).mid(1), kSimRows);
        QCOMPARE(editorState(form_.get()), QStringLiteral("現在|水　|09|05|07|0"));
        QString items; // how many items each selector has, and its last
        for (const char* c : {"Combo3", "Combo2", "Combo1(0)", "Combo1(1)", "Combo1(2)"}) {
            const auto* box = control<QComboBox>(form_.get(), c);
            items +=
                QStringLiteral("%1:%2 ").arg(box->count()).arg(box->itemText(box->count() - 1));
        }
        QCOMPARE(items, QStringLiteral("11:現在 8:毎日 24:23 60:59 60:59 "));
        // All eleven rows show without scrolling, whatever the face.
        QCOMPARE(list()->verticalScrollBar()->maximum(), 0);
        QVERIFY(list()->viewport()->rect().contains(list()->visualItemRect(list()->item(10))));
        int m = mark();
        clickRow(4);
        QCOMPARE(sentSince(m), QStringList{"L3"});
        // Only bit 0x80 of the flag byte counts here; 0x09 is not enabled.
        QCOMPARE(editorState(form_.get()), QStringLiteral("予約3|火　|7|30|0|0"));
        m = mark();
        QTest::keyClick(list(), Qt::Key_Down);
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(sentSince(m), QStringList{"L4"});
        QCOMPARE(editorState(form_.get()), QStringLiteral("予約4|毎日|6|30|0|1"));
        // The clock row: the editor back on the PC's time and a fresh clock.
        list()->item(0)->setText("stale");
        m = mark();
        clickRow(0);
        QCOMPARE(sentSince(m), (QStringList{"QT", "QS"}));
        QCOMPARE(editorState(form_.get()), QStringLiteral("現在|水　|09|05|07|1"));
        QVERIFY(list()->item(0)->text().startsWith(QStringLiteral("現在 :")));
        QVERIFY(messages_.isEmpty());
    }

    void sendRestoreAndClose() {
        start();
        clickRow(4);
        control<QComboBox>(form_.get(), "Combo1(0)")->setEditText("21");
        control<QComboBox>(form_.get(), "Combo1(1)")->setEditText("5");
        control<QCheckBox>(form_.get(), "Check1(1)")->setCheckState(Qt::Unchecked);
        int m = mark();
        click("Command2");
        QCOMPARE(sentSince(m), QStringList{"D30215050000"} + kTableRead);
        QStringList table = kSimRows;
        table[3] = QStringLiteral("予約3:火　21:05:00  DISABLE POWER ON ");
        QCOMPARE(listRows(form_.get()).mid(1), table);
        QCOMPARE(readAll(path("Morvane.DAT")), cp932Lines(table));

        // The restore lets events run: clicks coming in then are ignored, a
        // close waits for its end.
        QVERIFY(putFile(path("Morvane.DAT"), cp932Lines(kSimRows.mid(0, 2))));
        form_->Frame2_DblClick();
        QTimer::singleShot(0, this, [this] {
            click("Command3");
            form_->Command2_Click();
            form_->Command1_Click(0);
            form_->Frame4_DblClick();
            QVERIFY(!form_->close());
        });
        m = mark();
        click("Command3");
        QCOMPARE(sentSince(m), (QStringList{"QT", "QS", "N 03090507", "D00000000000",
                                            "D10108000081", "QT", "QS"}));
        QCOMPARE(listRows(form_.get()).mid(1), kSimRows.mid(0, 2));
        QVERIFY(ctl("Frame4")->isVisible() && form_->MSComm1.PortOpen());
        QTRY_VERIFY(!form_->isVisible()); // the close, carried out afterwards
        QVERIFY(!form_->MSComm1.PortOpen());
        QVERIFY(messages_.isEmpty());
    }

    // Every way to switch panels does what the double-click does: the boxes
    // filled from the settings on the way in, nothing applied on the way out,
    // the design's heights, and the focus on the shown panel's first control.
    void switchPanelsByKeyboard_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"Ctrl+comma", "caption Return", "caption Space", "Shift+F10 menu",
                                "Menu key menu", "Escape"})
            QTest::newRow(how) << QString(how);
    }
    void switchPanelsByKeyboard() {
        QFETCH(QString, how);
        start();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        const auto press = [&](const char* name) {
            auto* frame = control<Frame>(form_.get(), name);
            if (how == "Ctrl+comma" || (how == "Escape" && frame == ctl("Frame2"))) {
                QTest::keyClick(form_->focusWidget(), Qt::Key_Comma, Qt::ControlModifier);
            } else if (how == "Escape") {
                QTest::keyClick(form_->focusWidget(), Qt::Key_Escape);
            } else if (how.startsWith("caption")) {
                frame->setFocus();
                QTest::keyClick(frame, how.endsWith("Space") ? Qt::Key_Space : Qt::Key_Return);
            } else {
                // The menu's entry chosen as a user would: Down, then Return.
                // Without a window manager nothing hands the window back its
                // activation after the last menu.
                form_->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(form_.get()));
                frame->setFocus();
                QTRY_VERIFY(frame->hasFocus());
                QTimer chooser;
                connect(&chooser, &QTimer::timeout, this, [&chooser] {
                    if (QWidget* menu = QApplication::activePopupWidget()) {
                        chooser.stop();
                        QTest::keyClick(menu, Qt::Key_Down);
                        QTest::keyClick(menu, Qt::Key_Return);
                    }
                });
                chooser.start(10);
                if (how.startsWith("Menu")) {
                    QContextMenuEvent e(QContextMenuEvent::Keyboard, QPoint(), QPoint());
                    QCoreApplication::sendEvent(frame, &e);
                } else {
                    QTest::keyClick(frame, Qt::Key_F10, Qt::ShiftModifier);
                }
                QVERIFY(!chooser.isActive());
            }
        };
        text("Text2")->setText("9");
        press("Frame2");
        QVERIFY(!ctl("Frame2")->isVisible() && ctl("Frame4")->isVisible());
        QCOMPARE(text("Text2")->text(), QStringLiteral(" 2"));
        QCOMPARE(form_->focusWidget(), ctl("Text1"));
        QCOMPARE(form_->frameGeometry().height(), 3800 / 15);
        text("Text2")->setText("9");
        press("Frame4");
        QVERIFY(ctl("Frame2")->isVisible() && !ctl("Frame4")->isVisible());
        QCOMPARE(form_->focusWidget(), ctl("List1"));
        QCOMPARE(form_->frameGeometry().height(), 6075 / 15);
        QCOMPARE(readAll(path("Morvane.SYS")), QByteArray("COMPORT,1,\r\n"));
        QCOMPARE(sim_.loggedCommands(), kTableRead);
    }

    // Return and Enter press the focused button as Space does; Return in a
    // box of the system panel confirms it.
    void returnPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("mainPanelAfter");
        QTest::addColumn<QStringList>("sent");
        const auto row = [](const char* control, Qt::Key key, bool mainPanel, QStringList sent) {
            QTest::newRow(QStringLiteral("%1 %2").arg(control).arg(key).toLatin1())
                << QString(control) << int(key) << mainPanel << sent;
        };
        row("Command2", Qt::Key_Return, true, QStringList{"N 03090507"} + kTableRead);
        row("Command1(0)", Qt::Key_Enter, true, kTableRead);
        row("Command1(1)", Qt::Key_Return, true, {});
        row("Command3", Qt::Key_Return, false,
            {"QT", "QS", "N 03090507", "D00000000000", "QT", "QS"});
        row("Text3", Qt::Key_Return, true, kTableRead);
        row("Text4", Qt::Key_Enter, true, kTableRead);
    }
    void returnPressesTheFocusedButton() {
        QFETCH(QString, control);
        QFETCH(int, key);
        QFETCH(QStringList, sent);
        QVERIFY(putFile(path("Morvane.DAT"), cp932Lines(kSimRows.mid(0, 1))));
        start();
        if (control != "Command2")
            form_->Frame2_DblClick();
        QWidget* w = ctl(control.toLatin1());
        w->setFocus();
        const int m = mark();
        QTest::keyClick(w, Qt::Key(key));
        QTEST(ctl("Frame2")->isVisible(), "mainPanelAfter");
        QCOMPARE(sentSince(m), sent);
        QCOMPARE(messages_, QStringList());
    }

    // The focus ring stands out at 3:1 or more against what it covers, all
    // the way round its control.
    void focusRings_data() {
        QTest::addColumn<QString>("control");
        for (const char* c : {"Command2", "Check1(1)", "List1", "Frame2"})
            QTest::newRow(c) << QString(c);
    }
    void focusRings() {
        QFETCH(QString, control);
        start();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QWidget* w = ctl(control.toLatin1());
        list()->setCurrentRow(4);
        form_->focusWidget()->clearFocus();
        const QImage before = w->grab().toImage();
        w->setFocus();
        const QImage after = w->grab().toImage();
        QRect ring;
        int strong = 0;
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x)
                if (contrast(after.pixel(x, y), before.pixel(x, y)) >= 3.0) {
                    ++strong;
                    ring |= QRect(x, y, 1, 1);
                }
        QVERIFY2(ring.width() >= 10 && ring.height() >= 10, qPrintable(QString::number(strong)));
        QVERIFY2(strong >= 2 * (ring.width() + ring.height()) - 4,
                 qPrintable(QStringLiteral("%1 pixels in %2x%3")
                                .arg(strong)
                                .arg(ring.width())
                                .arg(ring.height())));
    }

    // What a screen reader hears of each control: its name in the window's
    // language, its role, and a description where the box alone says too little.
    void accessibleTexts_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("description"); // a part of it
        const auto row = [](const char* control, const char* name, QAccessible::Role role,
                            const char* description) {
            QTest::newRow(control) << QString(control) << QString::fromUtf8(name) << int(role)
                                   << QString::fromUtf8(description);
        };
        using A = QAccessible;
        row("MainForm", "Morvane", A::Window, "");
        row("Frame2", "<Main>", A::Grouping, "予約の編集と一覧");
        row("Frame4", "<System>", A::Grouping, "設定画面");
        row("Frame3", "設定値", A::Grouping, "編集");
        row("Frame1", "タイマー設定一覧", A::Grouping, "時計と予約");
        row("List1", "タイマー設定一覧", A::List, "予約0〜予約9");
        row("Combo3", "予約番号", A::ComboBox, "現在");
        row("Combo2", "曜日", A::ComboBox, "毎日");
        row("Combo1(0)", "時", A::ComboBox, "0〜23");
        row("Combo1(1)", "分", A::ComboBox, "0〜59");
        row("Combo1(2)", "秒", A::ComboBox, "0〜59");
        row("Check1(1)", "Timer Enable", A::CheckBox, "有効");
        row("Command2", "設定送信", A::Button, "タイマーに送り");
        row("Text1", "COM ポート番号", A::EditableText, "1 以上");
        row("Text2", "タイムアウト", A::EditableText, "単位は秒。２秒以上設定");
        row("Text3", "リトライ回数", A::EditableText, "単位は回。０回以上設定");
        row("Text4", "バックアップファイル", A::EditableText, "パス");
        row("Command1(0)", "決　定", A::Button, "保存");
        row("Command1(1)", "中　止", A::Button, "戻ります");
        row("Command3", "Back Up 読込", A::Button, "書き戻します");
    }
    void accessibleTexts() {
        QFETCH(QString, control);
        QFETCH(QString, description);
        start(); // the boxes hold values, which must not stand for their names
        QObject* o = control == "MainForm" ? form_.get() : ctl(control.toLatin1());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
        QVERIFY(a);
        QTEST(heardName(a), "name");
        QTEST(int(a->role()), "role");
        QVERIFY2(a->text(QAccessible::Description).contains(description),
                 qPrintable(a->text(QAccessible::Description)));
    }

    // The labels beside a box are its labels to a screen reader; a frame's
    // switch is its action; whatever does something has a tooltip.
    void labelsActionsAndTips() {
        form_ = std::make_unique<MainForm>();
        QStringList labels;
        for (const auto& [label, relation] :
             QAccessible::queryAccessibleInterface(ctl("Text2"))->relations(QAccessible::Label))
            labels << label->text(QAccessible::Name);
        labels.sort();
        QCOMPARE(labels, (QStringList{"<System>", "Timeout", "秒", "２秒以上設定"}));
        QAccessibleActionInterface* frame =
            QAccessible::queryAccessibleInterface(ctl("Frame2"))->actionInterface();
        QVERIFY(frame && frame->actionNames().contains(QAccessibleActionInterface::pressAction()));
        frame->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(ctl("Frame4")->isVisibleTo(form_.get()));
        QStringList untipped;
        for (QWidget* w : form_->findChildren<QWidget*>())
            if ((w->focusPolicy() & Qt::TabFocus) && w->toolTip().isEmpty() &&
                !w->objectName().isEmpty()) // unnamed: the parts a control is made of
                untipped << w->objectName();
        QCOMPARE(untipped, QStringList());
    }

    void panelsSwitchOnTheFramesOnly() {
        start();
        // The tip is the frame's own, like its double-click; not its controls'.
        const auto tipAt = [this](const QPoint& at) {
            QHelpEvent e(QEvent::ToolTip, at, ctl("Frame2")->mapToGlobal(at));
            QCoreApplication::sendEvent(ctl("Frame2"), &e);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tipAt(ctl("Combo2")->mapTo(ctl("Frame2"), QPoint(5, 5))), QString());
        QVERIFY(tipAt(QPoint(200, 360)).startsWith(QStringLiteral("ダブルクリックで")));
        QTest::mouseDClick(ctl("Combo2"), Qt::LeftButton);
        QTest::mouseDClick(ctl("Label3(0)"), Qt::LeftButton);
        QTest::mouseDClick(ctl("Frame3"), Qt::LeftButton, {}, QPoint(300, 60));
        QVERIFY(ctl("Frame2")->isVisible() && !ctl("Frame4")->isVisible());
        QTest::mouseDClick(ctl("Frame2"), Qt::LeftButton, {}, QPoint(200, 360));
        QVERIFY(!ctl("Frame2")->isVisible() && ctl("Frame4")->isVisible());
        QCOMPARE(text("Text1")->text() + text("Text2")->text() + text("Text3")->text() + "|" +
                     text("Text4")->text(),
                 " 1 2 1|" + path("Morvane.DAT"));
        QCOMPARE(form_->frameGeometry().height(), 3800 / 15);
        text("Text2")->setText("9"); // typed, then left by double-click
        QTest::mouseDClick(ctl("Label1(0)"), Qt::LeftButton);
        QTest::mouseDClick(ctl("Frame4"), Qt::LeftButton, {}, QPoint(200, 210));
        QVERIFY(ctl("Frame2")->isVisible() && !ctl("Frame4")->isVisible());
        QCOMPARE(form_->frameGeometry().height(), 6075 / 15);
        QCOMPARE(form_->width(), 6510 / 15);
        form_->Frame2_DblClick();
        QCOMPARE(text("Text2")->text(), QStringLiteral(" 2"));
        click("Command1(1)");
        QVERIFY(ctl("Frame2")->isVisible());
        QCOMPARE(readAll(path("Morvane.SYS")), QByteArray("COMPORT,1,\r\n"));
    }

    // A failed start-up switches sending off; confirming a port that opens
    // switches it on again; refused values keep the panel open.
    void confirmSettings() {
        start({"--fail", "L5"});
        QCOMPARE(listRows(form_.get()).mid(1), kSimRows.mid(0, 5));
        QVERIFY(!sendControlsEnabled(form_.get()));
        // Switched off, they look it: the style's greyed text, not the design's.
        for (const char* name : {"Command2", "Check1(1)"}) {
            const QPalette p = ctl(name)->palette();
            QVERIFY(p.color(QPalette::Disabled, QPalette::ButtonText) != Qt::black &&
                    p.color(QPalette::Disabled, QPalette::WindowText) != Qt::black);
        }
        SimProcess second;
        QVERIFY(second.start({"--link", path("COM2")}));
        form_->Frame2_DblClick();
        const auto confirm = [this](const char* port, const char* timeOut) {
            text("Text1")->setText(port);
            text("Text2")->setText(timeOut);
            click("Command1(0)");
            return form_->focusWidget() ? form_->focusWidget()->objectName() : QString();
        };
        QCOMPARE(confirm("abc", "2"), QStringLiteral("Text1"));
        QCOMPARE(readAll(path("Morvane.SYS")),
                 sysFileBytes("0", "2", "1", path("Morvane.DAT").toUtf8()));
        QCOMPARE(confirm("2", "1"), QStringLiteral("Text2"));
        confirm("2", "3");
        QCOMPARE(messages_, (QStringList{"COM ポートが無効です。",
                                         "タイムアウト時間は２秒以上を設定してください。"}));
        QCOMPARE(second.loggedCommands(), kTableRead);
        QVERIFY(ctl("Frame2")->isVisible() && sendControlsEnabled(form_.get()));
        QCOMPARE(readAll(path("Morvane.SYS")),
                 sysFileBytes("2", "3", "1", path("Morvane.DAT").toUtf8()));
    }

    // With a time-out of 0 every wait gives up at once: the late reply is
    // reported once, not again after every box.
    void timeOutZeroReportsEachArrivalOnce() {
        QVERIFY(putFile(path("Morvane.SYS"), "COMPORT,1,\r\nComTimeOut,0,\r\n"));
        start();
        QTest::qWait(500);
        QCOMPARE(messages_, (QStringList{kMsgNotConnected, kMsgTimeOut}));
        QCOMPARE(sim_.loggedCommands(), QStringList{"QT"});
    }

    // The real box: its texts; while it is open the window takes no input,
    // yet is not blocked, so that a close asked for then is not lost.
    void unsolicitedTextAndTheErrorBox() {
        start({"--unsolicited", "READY", "--every", "1000"});
        QTRY_COMPARE(form_->link.RecBuf, QStringLiteral("READY*\r"));
        QVERIFY(messages_.isEmpty());
        setMessageErrorRecorder({});
        const int m = mark();
        QString seen;
        bool modal = true;
        QTimer::singleShot(0, [&] {
            auto* box = form_->findChild<QMessageBox*>("MessageError");
            modal = QGuiApplication::modalWindow() != nullptr;
            click("Command2");
            seen = box->windowTitle() + '|' + box->text() + '|' + box->informativeText() + '|' +
                   QString::number(box->icon() == QMessageBox::Warning) +
                   QString::number(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        MessageError(kMsgTimeOut, "detail");
        setMessageErrorRecorder([this](const QString& m, const QString& d) {
            messages_ << m;
            details_ << d;
        });
        QCOMPARE(seen, "Error Message|" + kMsgTimeOut + "|detail|11");
        QVERIFY(!modal);
        QCOMPARE(sentSince(m), QStringList());
    }
};

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
