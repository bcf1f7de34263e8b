// The text formats of the device commands and the list rows, without a port.
#include "formats.h"

#include <QtTest>

using namespace morvane;

class TestFormats : public QObject {
    Q_OBJECT
private slots:
    void clockLine_data();
    void clockLine();
    void reservationLine_data();
    void reservationLine();
    void parseListLine_data();
    void parseListLine();
    void buildSendCommand_data();
    void buildSendCommand();
};

void TestFormats::clockLine_data() {
    QTest::addColumn<QString>("qt");
    QTest::addColumn<QString>("qs");
    QTest::addColumn<QString>("line"); // empty: the "QT" reply is refused
    QTest::newRow("wednesday") << "X0312\r"
                               << "X2D07\r"
                               << "現在 :水　18:45:07";
    QTest::newRow("every day") << "X0709\r"
                               << "X0000\r"
                               << "現在 :毎日09:00:00";
    QTest::newRow("lowercase hex") << "X000a\r"
                                   << "X3b3a\r"
                                   << "現在 :日　10:59:58";
    QTest::newRow("FF keeps two digits") << "X06FF\r"
                                         << "XFFFF\r"
                                         << "現在 :土　55:55:55";
    QTest::newRow("too short") << "X03"
                               << ""
                               << "";
    QTest::newRow("code 8") << "X0812\r"
                            << ""
                            << "";
    QTest::newRow("negative code") << "X-112\r"
                                   << ""
                                   << "";
}

void TestFormats::clockLine() {
    QFETCH(QString, qt);
    QFETCH(QString, qs);
    QFETCH(QString, line);
    const std::optional<QString> head = ClockLineHead(qt);
    QCOMPARE(head.has_value(), !line.isEmpty());
    if (head)
        QCOMPARE(*head + ClockLineTail(qs), line);
}

void TestFormats::reservationLine_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("line");
    // Flag: 8 and above is enabled; what is left after taking 8 off is 1 for
    // power off, anything else power on.
    QTest::newRow("example") << 3 << "X02071E0009\r"
                             << "予約3:火　07:30:00  ENABLE  POWER OFF";
    QTest::newRow("flag 01") << 1 << "X0100000001\r"
                             << "予約1:月　00:00:00  DISABLE POWER OFF";
    QTest::newRow("flag 08") << 2 << "X0300000008\r"
                             << "予約2:水　00:00:00  ENABLE  POWER ON ";
    QTest::newRow("flag 81") << 4 << "X04173B3B81\r"
                             << "予約4:木　23:59:59  ENABLE  POWER ON ";
    QTest::newRow("lowercase") << 7 << "x070c1e3b09\r"
                               << "予約7:毎日12:30:59  ENABLE  POWER OFF";
    QTest::newRow("hour 24, minute 60") << 8 << "X00183C3C00\r"
                                        << "予約8:日　00:00:00  DISABLE POWER ON ";
    // The empty day label shortens the line, four blanks lengthen it.
    QTest::newRow("day 8") << 1 << "X08010203\r"
                           << "予約1:01:02:03  DISABLE POWER ON ";
    QTest::newRow("day FF") << 9 << "XFF010203\r"
                            << "予約9:    01:02:03  DISABLE POWER ON ";
    QTest::newRow("N only") << 4 << "N\r"
                            << "予約4:日　00:00:00  DISABLE POWER ON ";
    QTest::newRow("short") << 0 << "X0517\r"
                           << "予約0:金　23:00:00  DISABLE POWER ON ";
}

void TestFormats::reservationLine() {
    QFETCH(int, n);
    QFETCH(QString, reply);
    QFETCH(QString, line);
    QCOMPARE(ReservationLine(n, reply), line);
}

void TestFormats::parseListLine_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("fields"); // reservation, day, hour, minute, second, enabled
    const auto row = [](const char* name, int n, const char* text, const QList<int>& fields) {
        QTest::newRow(name) << n << QString::fromUtf8(text) << fields;
    };
    // The row decides the reservation, not the number in the text.
    row("every day", 2, "予約3:毎日06:30:00  ENABLE  POWER ON ", {1, 7, 6, 30, 0, 1});
    row("clock row", 0, "現在 :水　12:34:56", {10, 3, 12, 34, 56, 0});
    row("row 11", 11, "予約0:土　23:59:59  ENABLE  POWER ON ", {10, 6, 23, 59, 59, 1});
    row("row 12, 24:60", 12, "予約0:日　24:60:03  DISABLE POWER ON ", {-1, 0, -1, -1, 3, 0});
    row("no day characters", 3, "予約2:    10:20:30  ENABLE  POWER ON ", {2, -1, 0, 0, 0, 0});
    row("lowercase e", 5, "予約4:月　01:02:03  enable  POWER ON ", {4, 1, 1, 2, 3, 0});
    row("short row", 6, "予約5:金　07", {5, 5, 7, 0, 0, 0});
}

void TestFormats::parseListLine() {
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(QList<int>, fields);
    const ParsedLine p = ParseListLine(row, text);
    const auto v = [](std::optional<int> x) { return x.value_or(-1); }; // -1: left unchanged
    QCOMPARE((QList<int>{v(p.reservation), v(p.day), v(p.hour), v(p.minute), v(p.second),
                         int(p.enabled)}),
             fields);
}

void TestFormats::buildSendCommand_data() {
    QTest::addColumn<QList<int>>("selectors"); // Combo3, Combo2, Check1(1)
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QString>("command");
    const auto row = [](const char* name, QList<int> sel, QStringList times, const char* cmd) {
        QTest::newRow(name) << sel << times << QString::fromLatin1(cmd);
    };
    row("every day enabled", {2, 7, 1}, {"6", "30", "0"}, "D207061E0081");
    row("saturday disabled", {9, 6, 0}, {"23", "59", "59"}, "D906173B3B00");
    row("clock ignores enable", {10, 3, 1}, {"12", "34", "56"}, "N 030C2238");
    row("no reservation", {-1, 0, 0}, {"0", "0", "0"}, "D-10000000000");
    row("grayed", {5, 0, 2}, {"0", "0", "0"}, "D50000000000");
    row("300 and -1", {3, 2, 0}, {"1", "300", "-1"}, "D302012CFF00");
    row("beyond 32 bits", {8, 0, 0}, {"2147483648", "-2147483649", "7"}, "D80000000700");
}

void TestFormats::buildSendCommand() {
    QFETCH(QList<int>, selectors);
    QFETCH(QStringList, times);
    QFETCH(QString, command);
    const EditorValues v{selectors[0], selectors[1], times[0], times[1], times[2], selectors[2]};
    QCOMPARE(BuildSendCommand(v), command);
}

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
