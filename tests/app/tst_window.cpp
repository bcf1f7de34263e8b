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

#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace morvane;
using namespace morvane::test;

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
        QVERIFY(writeAll(path("table.txt"), kSimTable));
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
        QVERIFY(writeAll(path("Morvane.SYS"), "COMPORT,1,\r\n")); // no first-start message
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
        QVERIFY(writeAll(path("table.txt"), kSimTable));
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
        QVERIFY(writeAll(path("Morvane.DAT"), cp932Lines(kSimRows.mid(0, 2))));
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
        QVERIFY(writeAll(path("Morvane.SYS"), "COMPORT,1,\r\nComTimeOut,0,\r\n"));
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
