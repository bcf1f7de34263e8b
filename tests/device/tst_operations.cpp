// The device operations over the exchange, against a scripted device.
#include "device.h"
#include "fakeclock.h"
#include "fakeport.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using namespace morvane;
using morvane::test::FakeClock;
using morvane::test::FakePort;

namespace {

constexpr qint64 T0 = 36'000'500; // 10:00:00.500
const QString NotConnected = QStringLiteral("Morvane が接続されていないか、コムポートが違います。");

// Sunday 2024-05-19, 09:05:07 on the PC (the device counts Sunday as 0).
QDateTime pcNow() {
    return QDateTime(QDate(2024, 5, 19), QTime(9, 5, 7));
}

class TestList final : public ListView {
public:
    QStringList rows;
    void clear() override { rows.clear(); }
    void addItem(const QString& text) override { rows.append(text); }
    int count() const override { return static_cast<int>(rows.size()); }
    QString item(int row) const override { return rows.value(row); }
    void setItem(int row, const QString& text) override { rows[row] = text; }
};

// Selecting a time item shows its number, as the selectors' items are "0".."59".
class TestEditor final : public EditorView {
public:
    QStringList state = {"8", "1", "1", "2", "3", "2"}; // Combo3, Combo2, Combo1(0..2), Check1
    int reservationIndex() const override { return state[0].toInt(); }
    void selectReservation(int index) override { state[0] = QString::number(index); }
    int dayIndex() const override { return state[1].toInt(); }
    void selectDay(int index) override { state[1] = QString::number(index); }
    QString timeText(int k) const override { return state[2 + k]; }
    void setTimeText(int k, const QString& text) override { state[2 + k] = text; }
    void selectTime(int k, int index) override { state[2 + k] = QString::number(index); }
    int enableValue() const override { return state[5].toInt(); }
    void setEnableValue(int value) override { state[5] = QString::number(value); }
};

// A device answering 50 ms after each command: replies per exact command,
// else per first letter, used in turn with the last one repeated.
struct Rig {
    SysSettingsRecord settings;
    FakeClock clock{T0};
    FakePort port{clock};
    QStringList messages;
    QHash<QString, QStringList> replies = {
        {"QT", {"X0312\r"}}, {"QS", {"X2D07\r"}}, {"D", {"*\r"}}, {"N", {"*\r"}}};
    Link link{settings, clock, [this](const QString& m) { messages << m; }};
    TestList list;
    TestEditor editor;

    Rig() {
        link.setPort(&port);
        port.setResponder([this](const QByteArray& frame) {
            const QString cmd = QString::fromLatin1(frame).chopped(1);
            QStringList& r = replies[replies.contains(cmd) ? cmd : cmd.left(1)];
            if (!r.isEmpty())
                port.arriveAfter(50, (r.size() > 1 ? r.takeFirst() : r.first()).toLatin1());
        });
    }
    QStringList sent() const {
        QStringList s;
        for (const QByteArray& o : port.outputs)
            s << QString::fromLatin1(o).chopped(1);
        return s;
    }
};

} // namespace

class TestOperations : public QObject {
    Q_OBJECT
private slots:
    void getTime();
    void setTime_data();
    void setTime();
    void trnTimePause_data();
    void trnTimePause();
    void readSetting_data();
    void readSetting();
};

void TestOperations::getTime() {
    Rig rig;
    rig.replies["L"] = QStringList{"X0100000081\r"};
    rig.replies["L3"] = QStringList{"X02071E0009\r"};
    Get_Time(rig.link, rig.list);
    QCOMPARE(rig.sent(),
             (QStringList{"QT", "QS", "L0", "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9"}));
    QCOMPARE(rig.list.rows.size(), 11);
    QCOMPARE(rig.list.rows[0], "現在 :水　18:45:07");
    QCOMPARE(rig.list.rows[4], "予約3:火　07:30:00  ENABLE  POWER OFF");
    QCOMPARE(rig.list.rows[10], "予約9:月　00:00:00  ENABLE  POWER ON ");
    QVERIFY(rig.messages.isEmpty());

    // A device error stops the read at the row that failed.
    Rig err;
    err.replies["L"] = QStringList{"X0000000000\r"};
    err.replies["L5"] = QStringList{"ERR\r"};
    Get_Time(err.link, err.list);
    QCOMPARE(err.sent().size(), 8);
    QCOMPARE(err.list.rows.size(), 6);

    Rig silent;
    silent.replies.clear();
    silent.list.rows = {"a", "b"};
    Get_Time(silent.link, silent.list);
    QVERIFY(silent.list.rows.isEmpty());
    QCOMPARE(silent.sent(), QStringList{"QT"});
    QCOMPARE(silent.messages, QStringList{NotConnected});

    // Port down: the list keeps what it shows and nothing is sent.
    Rig down;
    down.link.ComStatus = 99;
    down.list.rows = {"clock", "row 1"};
    Get_Time(down.link, down.list);
    QCOMPARE(down.list.rows, (QStringList{"clock", "row 1"}));
    QVERIFY(down.sent().isEmpty());
}

void TestOperations::setTime_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("reply"); // to "L" row-1
    QTest::addColumn<QStringList>("state");
    QTest::addColumn<QStringList>("sent");
    const auto row = [](const char* name, int n, const char* reply, const char* state,
                        const char* sent) {
        QTest::newRow(name) << n << QString::fromLatin1(reply)
                            << QString::fromLatin1(state).split(u' ')
                            << QString::fromLatin1(sent).split(u' ');
    };
    // Editor before: reservation 8, day 1, 1:2:3, enable grayed.
    row("clock row", 0, "", "10 0 09 05 07 2", "QT QS");
    row("row 4", 4, "X05171E0081\r", "3 5 23 30 0 1", "L3");
    row("every day, flag 7F", 4, "X070000007F\r", "3 7 0 0 0 0", "L3");
    row("day 8, 24:60, flag 80", 4, "X08183C3B80\r", "3 1 1 2 59 1", "L3");
    row("N only", 4, "N\r", "3 0 0 0 0 0", "L3");
    row("row 12 has no entry, lowercase", 12, "x020a1e2bff\r", "8 2 10 30 43 1", "L11");
    row("error", 4, "ERR 1\r", "8 1 1 2 3 2", "L3");
}

void TestOperations::setTime() {
    QFETCH(int, row);
    QFETCH(QString, reply);
    QFETCH(QStringList, state);
    QFETCH(QStringList, sent);

    Rig rig;
    rig.replies["L"] = QStringList{reply};
    rig.list.rows = {"old clock", "row 1"};
    Set_Time(rig.link, rig.list, rig.editor, row, pcNow());
    QCOMPARE(rig.sent(), sent);
    QCOMPARE(rig.editor.state, state);
    QCOMPARE(rig.list.rows[0], row == 0 ? "現在 :水　18:45:07" : "old clock");
}

void TestOperations::trnTimePause_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<qint64>("end"); // when TRN_Time returns
    QTest::newRow("star") << "*\r" << T0 + 50;
    QTest::newRow("error") << "ERR\r" << T0 + 50;
    QTest::newRow("empty") << "\r" << T0 + 1500;
    QTest::newRow("negative") << "N\r" << T0 + 1500;
}

void TestOperations::trnTimePause() {
    QFETCH(QString, reply);
    QFETCH(qint64, end);
    Rig rig;
    rig.replies["D"] = QStringList{reply};
    rig.editor.state = {"2", "7", "6", "30", "0", "1"};
    TRN_Time(rig.link, rig.editor);
    QCOMPARE(rig.sent(), QStringList{"D207061E0081"});
    QCOMPARE(rig.clock.now(), end);
}

void TestOperations::readSetting_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<QStringList>("qt"); // successive "QT" replies; empty: silent device
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("messages");

    const QStringList three = {"予約7:毎日06:30:00  ENABLE  POWER ON ",
                               "予約1:火　07:30:05  DISABLE POWER OFF",
                               "予約2:土　23:59:59  ENABLE  POWER ON "};
    const QStringList threeSent = {"QT",           "QS",           "N 00090507",
                                   "D007061E0081", "D102071E0500", "D206173B3B81"};
    const QStringList twice = {"X0312\r", "X0409\r"};
    QStringList twelve = three, twelveSent = threeSent;
    for (int n = 3; n < 12; ++n) {
        twelve << QStringLiteral("予約%1:月　00:00:00  DISABLE POWER ON ").arg(n);
        if (n < 10)
            twelveSent << QStringLiteral("D") + QString::number(n) + QStringLiteral("0100000000");
    }
    // The clock goes first, then each line to the reservation of its position.
    QTest::newRow("twelve lines, ten sent")
        << true << twelve << twice << twelveSent + QStringList{"QT", "QS"}
        << QStringList{"現在 :木　09:45:07"} + twelve.mid(0, 10) << QStringList();
    QTest::newRow("empty file") << true << QStringList{} << twice
                                << QStringList{"QT", "QS", "N 00090507", "QT", "QS"}
                                << QStringList{"現在 :木　09:45:07"} << QStringList();
    QTest::newRow("missing file") << false << QStringList() << twice << QStringList()
                                  << QStringList{"clock", "row 1"}
                                  << QStringList{"ファイル名が見つかりません。"};
    // The final query fails: row 0 keeps the clock read first.
    QTest::newRow("final query fails")
        << true << three.mid(0, 1) << QStringList{"X0312\r", "ERR\r"}
        << threeSent.mid(0, 4) + QStringList{"QT"}
        << QStringList{"現在 :水　18:45:07"} + three.mid(0, 1) << QStringList();
    QTest::newRow("silent device") << true << three << QStringList() << QStringList{"QT"}
                                   << QStringList() << QStringList{NotConnected};
}

void TestOperations::readSetting() {
    QFETCH(bool, exists);
    QFETCH(QStringList, file);
    QFETCH(QStringList, qt);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, messages);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Morvane.DAT"));
    if (exists) {
        // Backup files are Shift-JIS with CR LF line ends.
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QStringEncoder sjis("windows-31j");
        for (const QString& line : file)
            f.write(sjis.encode(line + QStringLiteral("\r\n")));
    }
    Rig rig;
    rig.replies["QT"] = qt;
    rig.list.rows = {"clock", "row 1"};
    qint16 fileErr = 7;
    int pumps = 0;
    ReadSetting(rig.link, rig.list, rig.editor, path, fileErr, pcNow, [&] { ++pumps; });

    QCOMPARE(rig.sent(), sent);
    QCOMPARE(rig.list.rows, rows);
    QCOMPARE(rig.messages, messages);
    if (!exists)
        QCOMPARE(fileErr, qint16(0)); // a missing file is reported, not an error number
    // The event queue runs at least once for every entry sent.
    QVERIFY(pumps >= std::count_if(sent.begin(), sent.end(), [](const QString& c) {
                return c.startsWith(u'D') || c.startsWith(u'N');
            }));
    if (sent.size() < 2) // nothing reached the editor
        QCOMPARE(rig.editor.state, (QStringList{"8", "1", "1", "2", "3", "2"}));
}

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"
