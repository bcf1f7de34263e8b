// The device operations over the exchange, against a scripted device.

#include "device.h"
#include "scripted.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using namespace morvane;
using namespace morvane::testing;

namespace {

const QString NotConnected = QStringLiteral("Morvane が接続されていないか、コムポートが違います。");
const QString SetUpPortAgain = QStringLiteral("COM ポートを再設定してください。");
const QString FileNotFound = QStringLiteral("ファイル名が見つかりません。");

// Wednesday 2024-05-15, 09:05:07 on the PC.
QDateTime pcNow() {
    return QDateTime(QDate(2024, 5, 15), QTime(9, 5, 7));
}

struct Rig {
    FakeClock clock{36'000'500}; // 10:00:00.500
    ScriptedPort port{clock};
    SysSettingsRecord settings;
    QStringList messages;
    Link link{settings, clock, [this](const QString& m) { messages.append(m); }};

    Rig() { link.setPort(&port); }

    // A device that knows its clock and answers every write with "*".
    void answersClockAndWrites() {
        port.on(QStringLiteral("QT"), {QStringLiteral("X0312\r")});
        port.on(QStringLiteral("QS"), {QStringLiteral("X2D07\r")});
        port.onPrefix(QStringLiteral("D"), QStringLiteral("*\r"));
        port.onPrefix(QStringLiteral("N "), QStringLiteral("*\r"));
    }
};

void setEditor(TestEditor& e, int reservation, int day, const QStringList& times, int enable) {
    e.reservation = reservation;
    e.day = day;
    for (int k = 0; k < 3; ++k)
        e.time[k] = times.value(k);
    e.enable = enable;
    e.writes = 0;
}

QStringList editorState(const TestEditor& e) {
    return {QString::number(e.reservation), QString::number(e.day), e.time[0], e.time[1], e.time[2],
            QString::number(e.enable)};
}

// Backup files are Shift-JIS with CR LF line ends.
QString writeBackup(const QTemporaryDir& dir, const QStringList& lines) {
    const QString path = dir.filePath(QStringLiteral("Morvane.DAT"));
    QStringEncoder enc("windows-31j");
    QString text;
    for (const QString& l : lines)
        text += l + QStringLiteral("\r\n");
    QByteArray bytes = enc.encode(text);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write the backup file");
    return path;
}

} // namespace

class TestOperations : public QObject {
    Q_OBJECT

private slots:
    void getWatchTime_data();
    void getWatchTime();
    void getTimeFullRead();
    void getTimeStopsAtError();
    void getTimeSilentDevice();
    void getTimePortDown();
    void setTimeClockRow();
    void setTimeReservationRow_data();
    void setTimeReservationRow();
    void trnTimeSettlingPause_data();
    void trnTimeSettlingPause();
    void trnTimePortDown();
    void list2Command();
    void setNowTimeKeepsEnable();
    void readSettingOrder();
    void readSettingEmptyFile();
    void readSettingMissingFile();
    void readSettingOnlyTenLines();
    void readSettingFinalQueryFails_data();
    void readSettingFinalQueryFails();
    void readSettingDeviceSilent();
};

void TestOperations::getWatchTime_data() {
    QTest::addColumn<QString>("qt");
    QTest::addColumn<QString>("qs");
    QTest::addColumn<QString>("buff");
    QTest::addColumn<QStringList>("sent");

    const QStringList both = {"QT", "QS"};
    QTest::newRow("complete") << "X0312\r"
                              << "X2D07\r"
                              << "現在 :水　18:45:07" << both;
    QTest::newRow("QS error keeps the hour") << "X0107\r"
                                             << "ERR\r"
                                             << "現在 :月　07:" << both;
    QTest::newRow("code 8, no QS") << "X0812\r"
                                   << "X2D07\r"
                                   << "old" << QStringList{"QT"};
    QTest::newRow("too short, no QS") << "X0\r"
                                      << "X2D07\r"
                                      << "old" << QStringList{"QT"};
    QTest::newRow("QT error") << "ERR\r"
                              << "X2D07\r"
                              << "old" << QStringList{"QT"};
}

void TestOperations::getWatchTime() {
    QFETCH(QString, qt);
    QFETCH(QString, qs);
    QFETCH(QString, buff);
    QFETCH(QStringList, sent);

    Rig rig;
    rig.port.on(QStringLiteral("QT"), {qt});
    rig.port.on(QStringLiteral("QS"), {qs});
    QString text = QStringLiteral("old");
    GetWatchTime(rig.link, text);
    QCOMPARE(text, buff);
    QCOMPARE(rig.port.sent, sent);
    QCOMPARE(rig.link.TrnBuf, sent.last());
}

void TestOperations::getTimeFullRead() {
    Rig rig;
    rig.answersClockAndWrites();
    rig.port.onPrefix(QStringLiteral("L"), QStringLiteral("X0100000081\r"));
    rig.port.on(QStringLiteral("L3"), {QStringLiteral("X02071E0009\r")});
    rig.port.on(QStringLiteral("L9"), {QStringLiteral("XFF183C3C01\r")});

    TestList list;
    list.rows = {QStringLiteral("stale")};
    Get_Time(rig.link, list);

    QCOMPARE(rig.port.sent,
             (QStringList{"QT", "QS", "L0", "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9"}));
    QCOMPARE(rig.port.raw.left(7), QByteArray("QT\rQS\rL"));
    QCOMPARE(list.rows.size(), 11);
    QCOMPARE(list.rows[0], QStringLiteral("現在 :水　18:45:07"));
    QCOMPARE(list.rows[1], QStringLiteral("予約0:月　00:00:00  ENABLE  POWER ON "));
    QCOMPARE(list.rows[4], QStringLiteral("予約3:火　07:30:00  ENABLE  POWER OFF"));
    QCOMPARE(list.rows[9], QStringLiteral("予約8:月　00:00:00  ENABLE  POWER ON "));
    QCOMPARE(list.rows[10], QStringLiteral("予約9:    00:00:00  DISABLE POWER OFF"));
    QVERIFY(rig.messages.isEmpty());
}

void TestOperations::getTimeStopsAtError() {
    Rig rig;
    rig.answersClockAndWrites();
    rig.port.onPrefix(QStringLiteral("L"), QStringLiteral("X0000000000\r"));
    rig.port.on(QStringLiteral("L5"), {QStringLiteral("ERR\r")});

    TestList list;
    Get_Time(rig.link, list);

    QCOMPARE(rig.port.sent.last(), QStringLiteral("L5"));
    QCOMPARE(rig.port.sent.size(), 8);
    QCOMPARE(list.rows.size(), 6);
    QCOMPARE(list.rows[5], QStringLiteral("予約4:日　00:00:00  DISABLE POWER ON "));
    QVERIFY(rig.link.RecBuf.contains(QStringLiteral("ERR")));
    QVERIFY(rig.messages.isEmpty());
}

void TestOperations::getTimeSilentDevice() {
    Rig rig;
    TestList list;
    list.rows = {QStringLiteral("a"), QStringLiteral("b")};
    Get_Time(rig.link, list);

    QVERIFY(list.rows.isEmpty());
    QCOMPARE(rig.port.sent, QStringList{"QT"});
    QCOMPARE(rig.messages, QStringList{NotConnected});
    QCOMPARE(rig.link.RecBuf, QStringLiteral("ERROR"));
}

void TestOperations::getTimePortDown() {
    Rig rig;
    rig.answersClockAndWrites();
    rig.link.ComStatus = 99;
    TestList list;
    list.rows = {QStringLiteral("clock"), QStringLiteral("row 1")};
    Get_Time(rig.link, list);

    QCOMPARE(list.rows, (QStringList{"clock", "row 1"}));
    QVERIFY(rig.port.sent.isEmpty());
    QVERIFY(rig.messages.isEmpty());
}

void TestOperations::setTimeClockRow() {
    Rig rig;
    rig.answersClockAndWrites();
    TestList list;
    list.rows = {QStringLiteral("old clock"), QStringLiteral("row 1")};
    TestEditor editor;
    setEditor(editor, 4, 1, {"1", "2", "3"}, 1);

    Set_Time(rig.link, list, editor, 0, pcNow());

    QCOMPARE(rig.port.sent, (QStringList{"QT", "QS"}));
    QCOMPARE(list.rows, (QStringList{"現在 :水　18:45:07", "row 1"}));
    QCOMPARE(editorState(editor), (QStringList{"10", "3", "09", "05", "07", "1"}));
}

void TestOperations::setTimeReservationRow_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("portDown");
    QTest::addColumn<QString>("reply"); // with the port down: what RecBuf still holds
    QTest::addColumn<QStringList>("state");

    const QStringList untouched = {"8", "1", "1", "2", "3", "2"};
    QTest::newRow("friday enabled")
        << 4 << false << "X05171E0081\r" << QStringList{"3", "5", "23", "30", "0", "1"};
    QTest::newRow("day 9 keeps the day")
        << 4 << false << "X09010203\r" << QStringList{"3", "1", "1", "2", "3", "0"};
    QTest::newRow("hour 24 keeps the hour")
        << 4 << false << "X0218050600\r" << QStringList{"3", "2", "1", "5", "6", "0"};
    QTest::newRow("error reply") << 4 << false << "ERR 1\r" << untouched;
    QTest::newRow("silent device") << 4 << false << "" << untouched;
    // The refused exchange leaves the last reply, which is loaded as it is.
    QTest::newRow("port down, stale reply")
        << 4 << true << "X0600000000\r" << QStringList{"3", "6", "0", "0", "0", "0"};
    QTest::newRow("port down, nothing ever received") << 4 << true << "" << untouched;
    // Row 11 loads into the clock entry; rows past it have no entry to select.
    QTest::newRow("row 11") << 11 << false << "X0101020300\r"
                            << QStringList{"10", "1", "1", "2", "3", "0"};
    QTest::newRow("row 12") << 12 << false << "X0101020300\r"
                            << QStringList{"8", "1", "1", "2", "3", "0"};
}

void TestOperations::setTimeReservationRow() {
    QFETCH(int, row);
    QFETCH(bool, portDown);
    QFETCH(QString, reply);
    QFETCH(QStringList, state);

    const QString command = QStringLiteral("L") + QString::number(row - 1);
    Rig rig;
    if (portDown) {
        rig.link.ComStatus = 99;
        rig.link.RecBuf = reply;
    } else if (!reply.isEmpty()) {
        rig.port.on(command, {reply});
    }
    TestList list;
    TestEditor editor;
    setEditor(editor, 8, 1, {"1", "2", "3"}, 2);

    Set_Time(rig.link, list, editor, row, pcNow());

    QCOMPARE(rig.port.sent, portDown ? QStringList() : QStringList{command});
    QCOMPARE(editorState(editor), state);
    // Rows that leave the editor untouched must not write to it at all.
    if (state == QStringList{"8", "1", "1", "2", "3", "2"})
        QCOMPARE(editor.writes, 0);
}

void TestOperations::trnTimeSettlingPause_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("ticks");

    QTest::newRow("star") << "*\r" << 0;
    QTest::newRow("error") << "ERR\r" << 0;
    QTest::newRow("bare CR") << "\r" << 2;
    QTest::newRow("negative") << "N\r" << 2;
}

void TestOperations::trnTimeSettlingPause() {
    QFETCH(QString, reply);
    QFETCH(int, ticks);

    Rig rig;
    rig.port.onPrefix(QStringLiteral("D"), reply);
    TestEditor editor;
    setEditor(editor, 2, 7, {"6", "30", "0"}, 1);

    TRN_Time(rig.link, editor);

    QCOMPARE(rig.port.sent, QStringList{"D207061E0081"});
    QCOMPARE(rig.link.TrnBuf, QStringLiteral("D207061E0081"));
    QCOMPARE(rig.link.RecBuf, reply);
    QVERIFY(rig.port.replySecond >= 0);
    QCOMPARE(rig.clock.second() - rig.port.replySecond, ticks);
}

void TestOperations::trnTimePortDown() {
    // Nothing is sent: the stale reply is all the pause can look at.
    Rig rig;
    rig.link.ComStatus = 99;
    TestEditor editor;
    setEditor(editor, 10, 3, {"12", "34", "56"}, 1);

    const int before = rig.clock.second();
    rig.link.RecBuf = QString();
    TRN_Time(rig.link, editor);
    QCOMPARE(rig.clock.second() - before, 2);
    rig.link.RecBuf = QStringLiteral("*\r");
    TRN_Time(rig.link, editor);
    QCOMPARE(rig.clock.second() - before, 2);
    QVERIFY(rig.port.sent.isEmpty());
    QCOMPARE(rig.messages, (QStringList{SetUpPortAgain, SetUpPortAgain}));
}

void TestOperations::list2Command() {
    TestEditor editor;
    TestList list;
    list.rows = {QStringLiteral("現在 :土　01:02:03"),
                 QStringLiteral("予約6:金　11:12:13  DISABLE POWER ON "),
                 QStringLiteral("予約1:    10:20:30  ENABLE  POWER ON ")};
    setEditor(editor, 5, 4, {"9", "9", "9"}, 1);
    List2Command(list, editor, 1);
    QCOMPARE(editorState(editor), (QStringList{"0", "5", "11", "12", "13", "0"}));
    List2Command(list, editor, 0);
    QCOMPARE(editorState(editor), (QStringList{"10", "6", "1", "2", "3", "0"}));
    // No day characters: the day stays as it was.
    List2Command(list, editor, 2);
    QCOMPARE(editorState(editor), (QStringList{"1", "6", "0", "0", "0", "0"}));
    // A row past the list's end reads as an empty text.
    setEditor(editor, 5, 4, {"9", "9", "9"}, 1);
    List2Command(list, editor, 12);
    QCOMPARE(editorState(editor), (QStringList{"5", "4", "0", "0", "0", "0"}));
}

void TestOperations::setNowTimeKeepsEnable() {
    TestEditor editor;
    const QDate sunday(2024, 5, 19);
    const struct {
        QDate date;
        int day;
    } cases[] = {{sunday, 0}, {sunday.addDays(1), 1}, {sunday.addDays(6), 6}};
    for (const auto& c : cases) {
        setEditor(editor, 3, 7, {"1", "2", "3"}, 2);
        Set_NowTime(editor, QDateTime(c.date, QTime(23, 0, 9)));
        QCOMPARE(editorState(editor),
                 (QStringList{"10", QString::number(c.day), "23", "00", "09", "2"}));
    }
}

void TestOperations::readSettingOrder() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The position decides the reservation, not the number in the text.
    const QStringList lines = {QStringLiteral("予約7:毎日06:30:00  ENABLE  POWER ON "),
                               QStringLiteral("予約1:火　07:30:05  DISABLE POWER OFF"),
                               QStringLiteral("予約2:土　23:59:59  ENABLE  POWER ON ")};
    const QString path = writeBackup(dir, lines);

    Rig rig;
    rig.answersClockAndWrites();
    rig.port.on(QStringLiteral("QT"), {QStringLiteral("X0312\r"), QStringLiteral("X0309\r")});
    rig.port.on(QStringLiteral("QS"), {QStringLiteral("X2D07\r"), QStringLiteral("X0506\r")});
    TestList list;
    list.rows = {QStringLiteral("old")};
    TestEditor editor;
    qint16 fileErr = 0;
    int pumps = 0;

    ReadSetting(rig.link, list, editor, path, fileErr, pcNow, [&] { ++pumps; });

    QCOMPARE(rig.port.sent, (QStringList{"QT", "QS", "N 03090507", "D007061E0081", "D102071E0500",
                                         "D206173B3B81", "QT", "QS"}));
    QCOMPARE(list.rows, (QStringList{"現在 :水　09:05:06"} + lines));
    QCOMPARE(pumps, 3 + 4);
    QCOMPARE(fileErr, qint16(0));
    QVERIFY(rig.messages.isEmpty());
}

void TestOperations::readSettingEmptyFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeBackup(dir, {});

    Rig rig;
    rig.answersClockAndWrites();
    TestList list;
    TestEditor editor;
    qint16 fileErr = 0;
    ReadSetting(rig.link, list, editor, path, fileErr, pcNow, {});

    QCOMPARE(rig.port.sent, (QStringList{"QT", "QS", "N 03090507", "QT", "QS"}));
    QCOMPARE(list.rows, QStringList{"現在 :水　18:45:07"});
}

void TestOperations::readSettingMissingFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    Rig rig;
    rig.answersClockAndWrites();
    TestList list;
    list.rows = {QStringLiteral("clock"), QStringLiteral("row 1")};
    TestEditor editor;
    setEditor(editor, 1, 2, {"3", "4", "5"}, 0);
    qint16 fileErr = 7;
    ReadSetting(rig.link, list, editor, dir.filePath(QStringLiteral("none.DAT")), fileErr, pcNow,
                {});

    QCOMPARE(fileErr, qint16(0));
    QCOMPARE(rig.messages, QStringList{FileNotFound});
    QVERIFY(rig.port.sent.isEmpty());
    QCOMPARE(list.rows, (QStringList{"clock", "row 1"}));
    QCOMPARE(editor.writes, 0);
}

void TestOperations::readSettingOnlyTenLines() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList lines;
    for (int k = 0; k < 12; ++k)
        lines.append(QStringLiteral("予約%1:月　00:00:%2  DISABLE POWER ON ")
                         .arg(k % 10)
                         .arg(k, 2, 10, QLatin1Char('0')));
    const QString path = writeBackup(dir, lines);

    Rig rig;
    rig.answersClockAndWrites();
    TestList list;
    TestEditor editor;
    qint16 fileErr = 0;
    ReadSetting(rig.link, list, editor, path, fileErr, pcNow, {});

    const QStringList expected = {
        "QT",           "QS",           "N 03090507",   "D00100000000", "D10100000100",
        "D20100000200", "D30100000300", "D40100000400", "D50100000500", "D60100000600",
        "D70100000700", "D80100000800", "D90100000900", "QT",           "QS"};
    QCOMPARE(rig.port.sent, expected);
    QCOMPARE(list.rows.size(), 11);
    QCOMPARE(list.rows.last(), lines[9]);
}

void TestOperations::readSettingFinalQueryFails_data() {
    QTest::addColumn<QString>("qt");
    QTest::addColumn<QString>("qs");
    QTest::addColumn<QStringList>("tail"); // commands after the reservation

    QTest::newRow("QT error") << "ERR\r"
                              << "X2D07\r" << QStringList{"QT"};
    QTest::newRow("QT code 8") << "X0812\r"
                               << "X2D07\r" << QStringList{"QT"};
    QTest::newRow("QS error") << "X0312\r"
                              << "ERR\r" << QStringList{"QT", "QS"};
}

void TestOperations::readSettingFinalQueryFails() {
    QFETCH(QString, qt);
    QFETCH(QString, qs);
    QFETCH(QStringList, tail);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path =
        writeBackup(dir, {QStringLiteral("予約0:日　01:02:03  ENABLE  POWER ON ")});

    Rig rig;
    rig.answersClockAndWrites();
    rig.port.on(QStringLiteral("QT"), {QStringLiteral("X0312\r"), qt});
    rig.port.on(QStringLiteral("QS"), {QStringLiteral("X2D07\r"), qs});
    TestList list;
    TestEditor editor;
    qint16 fileErr = 0;
    ReadSetting(rig.link, list, editor, path, fileErr, pcNow, {});

    QCOMPARE(rig.port.sent, (QStringList{"QT", "QS", "N 03090507", "D00001020381"} + tail));
    QCOMPARE(list.rows,
             (QStringList{"現在 :水　18:45:07", "予約0:日　01:02:03  ENABLE  POWER ON "}));
}

void TestOperations::readSettingDeviceSilent() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path =
        writeBackup(dir, {QStringLiteral("予約0:日　01:02:03  ENABLE  POWER ON ")});

    Rig rig; // answers nothing
    TestList list;
    list.rows = {QStringLiteral("clock")};
    TestEditor editor;
    qint16 fileErr = 0;
    int pumps = 0;
    ReadSetting(rig.link, list, editor, path, fileErr, pcNow, [&] { ++pumps; });

    QVERIFY(list.rows.isEmpty());
    QCOMPARE(rig.port.sent, QStringList{"QT"});
    QCOMPARE(rig.messages, QStringList{NotConnected});
    QCOMPARE(pumps, 0);
    QCOMPARE(editor.writes, 0);
}

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"
