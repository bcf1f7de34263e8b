// The real window, against morvane-sim over a pseudo-terminal where a device
// is needed: what only the window shows (files at start-up, panels, controls
// enabled, clicks and keys reaching the right action, a close while busy),
// with the simulator's traffic log as evidence.
#include "mainform.h"
#include "messageerror.h"
#include "simprocess.h"
#include "testdata.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace morvane;
using namespace morvane::test;

class TstWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString oldCwd_;
    QStringList messages_;
    SimProcess sim_;
    std::unique_ptr<MainForm> form_;

    QString path(const QString& name) const { return dir_->filePath(name); }
    template <class T = QWidget> T* ctl(const char* name) {
        auto* w = form_->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QComboBox* combo(const char* name) { return ctl<QComboBox>(name); }
    QListWidget* list() { return ctl<QListWidget>("List1"); }
    QStringList rows() {
        QStringList r;
        for (int i = 0; i < list()->count(); ++i)
            r << list()->item(i)->text();
        return r;
    }
    QString editor() {
        QStringList e;
        for (const char* c : {"Combo3", "Combo2", "Combo1(0)", "Combo1(1)", "Combo1(2)"})
            e << combo(c)->currentText();
        return e.join(u'|') + u'|' + QString::number(ctl<QCheckBox>("Check1(1)")->checkState());
    }
    bool sendControlsEnabled() {
        return ctl("Command2")->isEnabled() && ctl("Command3")->isEnabled() &&
               ctl("Check1(1)")->isEnabled();
    }
    // The simulator linked as COM1, then the window on Wednesday 09:05:07.
    void start(const QStringList& simArgs = {}) {
        QVERIFY(writeAll(path("table.txt"), kSimTable));
        QVERIFY2(
            sim_.start(QStringList{"--link", path("COM1"), "--table", path("table.txt")} + simArgs),
            qPrintable(sim_.errorString()));
        form_ = std::make_unique<MainForm>();
        form_->setNowProvider([] { return QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7)); });
        form_->Form_Load();
    }
    QStringList sentSince(int mark) { return sim_.loggedCommands().mid(mark); }
    int mark() { return int(sim_.loggedCommands().size()); }
    void clickRow(int row) {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualItemRect(list()->item(row)).center());
    }

private slots:
    void initTestCase() {
        oldCwd_ = QDir::currentPath();
        setMessageErrorRecorder([this](const QString& m) { messages_ << m; });
    }
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir_->path()));
        messages_.clear();
        // A settings file with the defaults: no first-start message.
        QVERIFY(writeAll(path("Morvane.SYS"), "COMPORT,1,\r\n"));
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
        QVERIFY(form_->isVisible());
        QCOMPARE(form_->windowTitle(), QStringLiteral("Morvane"));
        // A port that does not open: no message, an empty list, all enabled.
        QCOMPARE(form_->link.ComStatus, qint16(99));
        QCOMPARE(list()->count(), 0);
        QVERIFY(sendControlsEnabled());
        form_->Command2_Click();
        QCOMPARE(messages_.value(1), kMsgSetUpPortAgain);
    }

    void startupListsAndRowClicks() {
        start();
        QVERIFY(messages_.isEmpty());
        QCOMPARE(sim_.loggedCommands(), kTableRead);
        QCOMPARE(rows().mid(1), kSimRows);
        QVERIFY(rows()[0].startsWith(QStringLiteral("現在 :")));
        QCOMPARE(editor(), QStringLiteral("現在|水　|09|05|07|0"));
        const int counts[] = {11, 8, 24, 60, 60};
        const char* names[] = {"Combo3", "Combo2", "Combo1(0)", "Combo1(1)", "Combo1(2)"};
        for (int k = 0; k < 5; ++k) {
            QCOMPARE(combo(names[k])->count(), counts[k]);
            QVERIFY(combo(names[k])->isEditable());
        }
        QCOMPARE(combo("Combo3")->itemText(0) + combo("Combo2")->itemText(7), "予約0毎日");

        int m = mark();
        clickRow(4);
        QCOMPARE(sentSince(m), QStringList{"L3"});
        // Only bit 0x80 of the flag byte counts here; 0x09 is not enabled.
        QCOMPARE(editor(), QStringLiteral("予約3|火　|7|30|0|0"));
        m = mark();
        QTest::keyClick(list(), Qt::Key_Down);
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(sentSince(m), QStringList{"L4"});
        QCOMPARE(editor(), QStringLiteral("予約4|毎日|6|30|0|2"));
        // The clock row: the editor back on the PC's time and a fresh clock.
        list()->item(0)->setText("stale");
        m = mark();
        clickRow(0);
        QCOMPARE(sentSince(m), (QStringList{"QT", "QS"}));
        QCOMPARE(editor(), QStringLiteral("現在|水　|09|05|07|2"));
        QVERIFY(rows()[0].startsWith(QStringLiteral("現在 :")));
        QVERIFY(messages_.isEmpty());
    }

    void sendRestoreAndClose() {
        start();
        clickRow(4);
        combo("Combo1(0)")->setEditText("21");
        combo("Combo1(1)")->setEditText("5");
        ctl<QCheckBox>("Check1(1)")->setCheckState(Qt::Unchecked);
        int m = mark();
        QTest::mouseClick(ctl("Command2"), Qt::LeftButton);
        QCOMPARE(sentSince(m), QStringList{"D30215050000"} + kTableRead);
        QStringList table = kSimRows;
        table[3] = QStringLiteral("予約3:火　21:05:00  DISABLE POWER ON ");
        QCOMPARE(rows().mid(1), table);
        QCOMPARE(readAll(path("Morvane.DAT")), cp932Lines(table));

        // The restore: the clock first, then the file in order. Clicks that
        // come in while it lets events run are ignored, a close waits.
        QVERIFY(writeAll(path("Morvane.DAT"), cp932Lines(kSimRows.mid(0, 2))));
        form_->Frame2_DblClick();
        QTimer::singleShot(0, this, [this] {
            QTest::mouseClick(ctl("Command3"), Qt::LeftButton);
            form_->Command2_Click();
            form_->Command1_Click(0);
            form_->Frame4_DblClick();
            QVERIFY(!form_->close());
        });
        m = mark();
        QTest::mouseClick(ctl("Command3"), Qt::LeftButton);
        QCOMPARE(sentSince(m), (QStringList{"QT", "QS", "N 03090507", "D00000000000",
                                            "D10108000081", "QT", "QS"}));
        QCOMPARE(rows().mid(1), kSimRows.mid(0, 2));
        QVERIFY(ctl("Frame4")->isVisible() && form_->isVisible());
        QVERIFY(form_->MSComm1.PortOpen());
        QTRY_VERIFY(!form_->isVisible()); // the close, carried out afterwards
        QVERIFY(!form_->MSComm1.PortOpen());
        QVERIFY(messages_.isEmpty());
    }

    void panelsSwitchOnTheFramesOnly() {
        start();
        const int width = form_->width();
        QTest::mouseDClick(combo("Combo2"), Qt::LeftButton);
        QTest::mouseDClick(ctl("Label3(0)"), Qt::LeftButton);
        QTest::mouseDClick(ctl("Frame3"), Qt::LeftButton, {}, QPoint(300, 60));
        QVERIFY(ctl("Frame2")->isVisible() && !ctl("Frame4")->isVisible());
        QTest::mouseDClick(ctl("Frame2"), Qt::LeftButton, {}, QPoint(200, 360));
        QVERIFY(!ctl("Frame2")->isVisible() && ctl("Frame4")->isVisible());
        QCOMPARE(ctl<QLineEdit>("Text1")->text() + ctl<QLineEdit>("Text2")->text() +
                     ctl<QLineEdit>("Text3")->text(),
                 QStringLiteral(" 1 2 1"));
        QCOMPARE(ctl<QLineEdit>("Text4")->text(), path("Morvane.DAT"));
        QCOMPARE(form_->frameGeometry().height(), 3800 / 15);
        ctl<QLineEdit>("Text2")->setText("9"); // typed, then left by double-click
        QTest::mouseDClick(ctl("Label1(0)"), Qt::LeftButton);
        QTest::mouseDClick(ctl("Frame4"), Qt::LeftButton, {}, QPoint(200, 210));
        QVERIFY(ctl("Frame2")->isVisible() && !ctl("Frame4")->isVisible());
        QCOMPARE(form_->frameGeometry().height(), 6075 / 15);
        QCOMPARE(form_->width(), width);
        form_->Frame2_DblClick();
        QCOMPARE(ctl<QLineEdit>("Text2")->text(), QStringLiteral(" 2"));
        QTest::mouseClick(ctl("Command1(1)"), Qt::LeftButton);
        QVERIFY(ctl("Frame2")->isVisible());
        QCOMPARE(readAll(path("Morvane.SYS")), QByteArray("COMPORT,1,\r\n"));
    }

    // A failed start-up switches sending off; confirming a working port
    // switches it on again, a port that does not open is refused.
    void confirmSettings() {
        start({"--fail", "L5"});
        QCOMPARE(rows().mid(1), kSimRows.mid(0, 5));
        QVERIFY(!sendControlsEnabled());
        SimProcess second;
        QVERIFY(second.start({"--link", path("COM2")}));
        form_->Frame2_DblClick();
        ctl<QLineEdit>("Text1")->setText("abc");
        QTest::mouseClick(ctl("Command1(0)"), Qt::LeftButton);
        QCOMPARE(messages_, QStringList{QStringLiteral("COM ポートが無効です。")});
        QVERIFY(ctl("Frame4")->isVisible() && form_->focusWidget() == ctl("Text1"));
        QCOMPARE(readAll(path("Morvane.SYS")),
                 sysFileBytes("0", "2", "1", path("Morvane.DAT").toUtf8()));
        ctl<QLineEdit>("Text1")->setText("2");
        ctl<QLineEdit>("Text2")->setText("1");
        QTest::mouseClick(ctl("Command1(0)"), Qt::LeftButton);
        QCOMPARE(messages_.value(1),
                 QStringLiteral("タイムアウト時間は２秒以上を設定してください。"));
        QCOMPARE(form_->focusWidget(), ctl("Text2"));
        ctl<QLineEdit>("Text2")->setText("3");
        QTest::mouseClick(ctl("Command1(0)"), Qt::LeftButton);
        QCOMPARE(messages_.size(), 2);
        QCOMPARE(second.loggedCommands(), kTableRead);
        QVERIFY(ctl("Frame2")->isVisible() && sendControlsEnabled());
        QCOMPARE(readAll(path("Morvane.SYS")),
                 sysFileBytes("2", "3", "1", path("Morvane.DAT").toUtf8()));
    }

    void unsolicitedTextReplacesTheReply() {
        start({"--unsolicited", "READY", "--every", "1000"});
        QTRY_COMPARE(form_->link.RecBuf, QStringLiteral("READY*\r"));
        QVERIFY(messages_.isEmpty());
    }

    void realMessageBox() {
        setMessageErrorRecorder({});
        QString seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = box->windowTitle() + '|' + box->text() + '|' +
                   QString::number(box->icon() == QMessageBox::Warning) + '|' +
                   QString::number(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        MessageError(kMsgTimeOut);
        setMessageErrorRecorder([this](const QString& m) { messages_ << m; });
        QCOMPARE(seen, "Error Message|" + kMsgTimeOut + "|1|1");
    }
};

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
