// The real window against morvane-sim over a pseudo-terminal: start-up reads,
// list clicks, sends, the backup and the settings panel, with the simulator's
// traffic log as evidence.
#include "apptest.h"
#include "mainform.h"
#include "messageerror.h"
#include "simprocess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace morvane;
using namespace apptest;

namespace {

const QStringList& Rows = SimRows;

QByteArray cp932Line(const QString& s) {
    return cp932Lines({s});
}

} // namespace

class TstSession : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString oldCwd_;
    QStringList messages_;
    SimProcess sim_;
    std::unique_ptr<MainForm> form_;
    QDateTime now_ = QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7)); // a Wednesday

    QString path(const QString& name) const { return dir_->filePath(name); }

    template <class T> T* ctl(const char* name) {
        auto* w = form_->findChild<T*>(QLatin1String(name));
        if (!w)
            qWarning("no control %s", name);
        return w;
    }
    QListWidget* list() { return ctl<QListWidget>("List1"); }
    QStringList listRows() {
        QStringList r;
        for (int i = 0; i < list()->count(); ++i)
            r << list()->item(i)->text();
        return r;
    }
    QComboBox* combo(const char* name) { return ctl<QComboBox>(name); }

    // The simulator linked as COM1 in the scratch folder, then the window.
    bool startSim(const QStringList& extra = {}) {
        QFile t(path("table.txt"));
        if (!t.exists()) {
            if (!t.open(QIODevice::WriteOnly))
                return false;
            t.write(SimTable);
            t.close();
        }
        if (!sim_.start(QStringList{"--link", path("COM1"), "--table", path("table.txt")} +
                        extra)) {
            qWarning("%s", qPrintable(sim_.errorString()));
            return false;
        }
        return true;
    }
    void startForm() {
        form_ = std::make_unique<MainForm>();
        form_->setNowProvider([this] { return now_; });
        form_->Form_Load();
    }
    void clickRow(int row) {
        QListWidget* l = list();
        QVERIFY(row < l->count());
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {},
                          l->visualItemRect(l->item(row)).center());
    }
    int logMark() const { return int(sim_.loggedCommands().size()); }
    QStringList logSince(int mark) const { return sim_.loggedCommands().mid(mark); }
    QStringList tableReadCommands() const {
        return {"QT", "QS", "L0", "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9"};
    }
    void writeBackup(const QByteArray& bytes) {
        QFile f(path("Morvane.DAT"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void writeSys(const QByteArray& extra) {
        QFile f(path("Morvane.SYS"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(extra);
    }

private slots:
    void initTestCase() {
        oldCwd_ = QDir::currentPath();
        SetMessageErrorRecorder([this](const QString& m) { messages_ << m; });
    }
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
        messages_.clear();
        now_ = QDateTime(QDate(2026, 12, 2), QTime(9, 5, 7));
        // Skip the first-start message: a settings file with the defaults.
        writeSys("COMPORT,1,\r\n");
    }
    void cleanup() {
        form_.reset();
        sim_.stop();
        QDir::setCurrent(oldCwd_);
        dir_.reset();
    }
    void cleanupTestCase() { SetMessageErrorRecorder({}); }

    void startupReadsTheWholeTable() {
        QVERIFY(startSim());
        startForm();
        QVERIFY(messages_.isEmpty());
        QCOMPARE(sim_.loggedCommands(), tableReadCommands());
        const QStringList rows = listRows();
        QCOMPARE(rows.size(), 11);
        QVERIFY2(rows[0].startsWith(QStringLiteral("現在 :")), qPrintable(rows[0]));
        QCOMPARE(rows[0].size(), 14);
        QCOMPARE(rows.mid(1), Rows);
        QVERIFY(ctl<QPushButton>("Command2")->isEnabled());
        QVERIFY(ctl<QCheckBox>("Check1(1)")->isEnabled());
    }

    void errorReplyStopsTheRead() {
        QVERIFY(startSim({"--fail", "L5"}));
        startForm();
        QVERIFY(messages_.isEmpty());
        QCOMPARE(list()->count(), 6);
        QCOMPARE(listRows().mid(1), Rows.mid(0, 5));
        QVERIFY(!ctl<QPushButton>("Command2")->isEnabled());
    }

    void clickingRowsLoadsTheEditor() {
        QVERIFY(startSim());
        startForm();
        int mark = logMark();
        clickRow(4);
        QCOMPARE(logSince(mark), QStringList{"L3"});
        QCOMPARE(combo("Combo3")->currentText(), QStringLiteral("予約3"));
        QCOMPARE(combo("Combo2")->currentText(), QStringLiteral("火　"));
        QCOMPARE(combo("Combo1(0)")->currentText(), QStringLiteral("7"));
        QCOMPARE(combo("Combo1(1)")->currentText(), QStringLiteral("30"));
        QCOMPARE(combo("Combo1(2)")->currentText(), QStringLiteral("0"));
        // Only bit 0x80 of the flag byte counts here; 0x09 is not enabled.
        QCOMPARE(ctl<QCheckBox>("Check1(1)")->checkState(), Qt::Unchecked);
        clickRow(5);
        QCOMPARE(combo("Combo2")->currentText(), QStringLiteral("毎日"));
        QCOMPARE(ctl<QCheckBox>("Check1(1)")->checkState(), Qt::Checked);
        // From the keyboard: the next row, then Enter loads it once.
        mark = logMark();
        QTest::keyClick(list(), Qt::Key_Down);
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(logSince(mark), QStringList{"L5"});

        // The clock row: a fresh clock query, the editor back on the PC's time.
        now_ = QDateTime(QDate(2026, 12, 5), QTime(22, 1, 2)); // a Saturday
        mark = logMark();
        clickRow(0);
        QCOMPARE(logSince(mark), (QStringList{"QT", "QS"}));
        QCOMPARE(combo("Combo3")->currentText(), QStringLiteral("現在"));
        QCOMPARE(combo("Combo2")->currentText(), QStringLiteral("土　"));
        QCOMPARE(combo("Combo1(0)")->currentText(), QStringLiteral("22"));
        QCOMPARE(combo("Combo1(2)")->currentText(), QStringLiteral("02"));
        QVERIFY(list()->item(0)->text().startsWith(QStringLiteral("現在 :")));
        QVERIFY(messages_.isEmpty());
    }

    void sendingAReservationRewritesTheBackup() {
        QVERIFY(startSim());
        startForm();
        clickRow(4);
        combo("Combo1(0)")->setEditText("21");
        combo("Combo1(1)")->setEditText("5");
        ctl<QCheckBox>("Check1(1)")->setCheckState(Qt::Unchecked);
        const int mark = logMark();
        QTest::mouseClick(ctl<QPushButton>("Command2"), Qt::LeftButton);
        QCOMPARE(logSince(mark), QStringList{"D30215050000"} + tableReadCommands());
        QStringList expected = Rows;
        expected[3] = QStringLiteral("予約3:火　21:05:00  DISABLE POWER ON ");
        QCOMPARE(listRows().mid(1), expected);
        QByteArray file;
        for (const QString& r : expected)
            file += cp932Line(r);
        QCOMPARE(readAll(form_->SysSettings.BackUpFile), file);
        QVERIFY(messages_.isEmpty());
    }

    void sendingTheClockEntrySetsTheDeviceClock() {
        QVERIFY(startSim());
        now_ = QDateTime(QDate(2026, 12, 3), QTime(12, 34, 56)); // a Thursday
        startForm();
        const int mark = logMark();
        form_->Command2_Click();
        QCOMPARE(logSince(mark).value(0), QStringLiteral("N 040C2238"));
        // The device clock runs on from the value set.
        const QString row0 = list()->item(0)->text();
        QVERIFY2(row0.startsWith(QStringLiteral("現在 :木　12:3")), qPrintable(row0));
    }

    void restoreSendsClockThenReservationsInFileOrder() {
        QVERIFY(startSim());
        startForm();
        writeBackup(cp932Line(QStringLiteral("予約7:毎日06:30:00  ENABLE  POWER ON ")) +
                    cp932Line(QStringLiteral("予約1:月　08:00:09  DISABLE POWER ON ")));
        form_->Frame2_DblClick();
        const int mark = logMark();
        QTest::mouseClick(ctl<QPushButton>("Command3"), Qt::LeftButton);
        // Line 1 says reservation 7, but its position makes it reservation 0.
        QCOMPARE(logSince(mark), (QStringList{"QT", "QS", "N 03090507", "D007061E0081",
                                              "D10108000900", "QT", "QS"}));
        QCOMPARE(list()->count(), 3);
        QVERIFY(list()->item(0)->text().startsWith(QStringLiteral("現在 :水　09:0")));
        QCOMPARE(list()->item(1)->text(), QStringLiteral("予約7:毎日06:30:00  ENABLE  POWER ON "));
        QVERIFY(messages_.isEmpty());
        QVERIFY(ctl<QGroupBox>("Frame4")->isVisible());
    }

    void restoreTakesAtMostTenLines() {
        QVERIFY(startSim());
        startForm();
        QByteArray file;
        for (int i = 0; i < 12; ++i)
            file += cp932Line(QStringLiteral("予約0:日　00:00:%1  DISABLE POWER ON ")
                                  .arg(i, 2, 10, QLatin1Char('0')));
        writeBackup(file);
        const int mark = logMark();
        form_->Command3_Click();
        const QStringList sent = logSince(mark);
        QCOMPARE(sent.size(), 2 + 1 + 10 + 2);
        QCOMPARE(sent.value(3), QStringLiteral("D00000000000"));
        QCOMPARE(sent.value(12), QStringLiteral("D90000000900"));
        QCOMPARE(sent.filter(QRegularExpression("^N ")).size(), 1);
    }

    void restoreOfMissingOrEmptyFile() {
        QVERIFY(startSim());
        startForm();
        const QStringList before = listRows();
        int mark = logMark();
        form_->Command3_Click();
        QCOMPARE(messages_, QStringList{QStringLiteral("ファイル名が見つかりません。")});
        QCOMPARE(form_->FileErrNo, qint16(0));
        QCOMPARE(listRows(), before);
        QCOMPARE(logSince(mark), QStringList());

        messages_.clear();
        writeBackup({});
        mark = logMark();
        form_->Command3_Click();
        QCOMPARE(logSince(mark), (QStringList{"QT", "QS", "N 03090507", "QT", "QS"}));
        QCOMPARE(list()->count(), 1);
        QVERIFY(messages_.isEmpty());
    }

    void restoreWithSilentDevice() {
        QVERIFY(startSim({"--stop-after", "12"}));
        startForm();
        writeBackup(cp932Line(Rows[0]));
        const int mark = logMark();
        form_->Command3_Click();
        QCOMPARE(logSince(mark), QStringList{"QT"});
        QCOMPARE(list()->count(), 0);
        QCOMPARE(messages_, QStringList{QStringLiteral(
                                "Morvane が接続されていないか、コムポートが違います。")});
    }

    void restoreIgnoresOtherActionsWhileRunning() {
        QVERIFY(startSim());
        startForm();
        writeBackup(cp932Line(Rows[0]) + cp932Line(Rows[1]));
        form_->Frame2_DblClick();
        // Fired from inside the restore, when it lets the event queue run.
        QTimer::singleShot(0, this, [this] {
            QTest::mouseClick(ctl<QPushButton>("Command3"), Qt::LeftButton);
            ctl<QPushButton>("Command2")->click();
            form_->Command1_Click(0);
            form_->Frame4_DblClick();
        });
        const int mark = logMark();
        form_->Command3_Click();
        QCOMPARE(logSince(mark), (QStringList{"QT", "QS", "N 03090507", "D00000000000",
                                              "D10108000081", "QT", "QS"}));
        QVERIFY(ctl<QGroupBox>("Frame4")->isVisible());
    }

    void unsolicitedTextReplacesTheReply() {
        QVERIFY(startSim({"--unsolicited", "READY", "--every", "2500"}));
        startForm();
        QTRY_COMPARE(form_->link.RecBuf, QStringLiteral("READY*\r"));
        QVERIFY(messages_.isEmpty());
        // An action afterwards still gets its own reply.
        const int mark = logMark();
        clickRow(1);
        QCOMPARE(logSince(mark), QStringList{"L0"});
        QCOMPARE(combo("Combo3")->currentText(), QStringLiteral("予約0"));
    }

    void confirmingANewPortMakesTheToolUsableAgain() {
        // COM1 answers nothing; COM2 is a working device.
        SimProcess silent;
        QVERIFY(silent.start({"--silent", "--link", path("COM1")}));
        QVERIFY(sim_.start({"--link", path("COM2")}));
        startForm();
        QVERIFY(!ctl<QPushButton>("Command2")->isEnabled());
        messages_.clear();
        form_->Frame2_DblClick();
        ctl<QLineEdit>("Text1")->setText("2");
        ctl<QLineEdit>("Text2")->setText("1.5");
        form_->Command1_Click(0);
        QVERIFY(messages_.isEmpty());
        QCOMPARE(form_->SysSettings.COMPORT, qint16(2));
        QCOMPARE(form_->SysSettings.ComTimeOut, qint16(2));
        QCOMPARE(sim_.loggedCommands(), tableReadCommands());
        QCOMPARE(list()->count(), 11);
        QVERIFY(ctl<QGroupBox>("Frame2")->isVisible());
        QVERIFY(ctl<QPushButton>("Command2")->isEnabled());
        QVERIFY(ctl<QPushButton>("Command3")->isEnabled());
        QVERIFY(ctl<QCheckBox>("Check1(1)")->isEnabled());
        QVERIFY(readAll(path("Morvane.SYS")).startsWith("COMPORT,2,"));
    }
};

QTEST_MAIN(TstSession)
#include "tst_session.moc"
