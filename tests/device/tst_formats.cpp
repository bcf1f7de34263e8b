// The text formats of the device commands and the list rows, without a port.

#include "formats.h"

#include <QtTest>

using namespace morvane;

namespace {

// -1 in a data row stands for "selector left unchanged".
int orNone(const std::optional<int>& v) {
    return v ? *v : -1;
}

} // namespace

class TestFormats : public QObject {
    Q_OBJECT

private slots:
    void hexField_data();
    void hexField();
    void clockLine_data();
    void clockLine();
    void reservationLine_data();
    void reservationLine();
    void decodeLoadReply_data();
    void decodeLoadReply();
    void parseListLine_data();
    void parseListLine();
    void buildSendCommand_data();
    void buildSendCommand();
};

void TestFormats::hexField_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");
    QTest::newRow("upper") << "FF" << 255;
    QTest::newRow("lower") << "1e" << 30;
    QTest::newRow("mixed") << "aB" << 171;
    QTest::newRow("stops at CR") << "7\r" << 7;
    QTest::newRow("starts with non-hex") << "G1" << 0;
    QTest::newRow("blank first") << " 5" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestFormats::hexField() {
    QFETCH(QString, field);
    QFETCH(int, value);
    QCOMPARE(HexField(field), value);
}

void TestFormats::clockLine_data() {
    QTest::addColumn<QString>("qt");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("head");
    QTest::addColumn<QString>("qs");
    QTest::addColumn<QString>("tail");

    QTest::newRow("wednesday") << "X0312\r" << true << "現在 :水　18:"
                               << "X2D07\r"
                               << "45:07";
    QTest::newRow("every day") << "X0709\r" << true << "現在 :毎日09:"
                               << "X0000\r"
                               << "00:00";
    QTest::newRow("sunday lower hex") << "X000a\r" << true << "現在 :日　10:"
                                      << "X3b3a\r"
                                      << "59:58";
    // FF is 255 and keeps only its last two digits.
    QTest::newRow("no clamping") << "X06FF\r" << true << "現在 :土　55:"
                                 << "XFFFF\r"
                                 << "55:55";
    QTest::newRow("four chars, hour is CR") << "X01\r" << true << "現在 :月　00:"
                                            << "X\r"
                                            << "00:00";
    QTest::newRow("blank before digit") << "X 2\r" << true << "現在 :火　00:"
                                        << "N\r"
                                        << "00:00";
    QTest::newRow("three chars") << "X03" << false << ""
                                 << ""
                                 << "";
    QTest::newRow("empty") << "" << false << ""
                           << ""
                           << "";
    QTest::newRow("code 8") << "X0812\r" << false << ""
                            << ""
                            << "";
    QTest::newRow("code 99") << "X9912\r" << false << ""
                             << ""
                             << "";
    QTest::newRow("negative code") << "X-112\r" << false << ""
                                   << ""
                                   << "";
}

void TestFormats::clockLine() {
    QFETCH(QString, qt);
    QFETCH(bool, accepted);
    QFETCH(QString, head);
    QFETCH(QString, qs);
    QFETCH(QString, tail);

    const std::optional<QString> h = ClockLineHead(qt);
    QCOMPARE(h.has_value(), accepted);
    if (accepted) {
        QCOMPARE(*h, head);
        QCOMPARE(ClockLineTail(qs), tail);
    }
}

void TestFormats::reservationLine_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("line");

    QTest::newRow("enabled power off") << 3 << "X02071E0009\r"
                                       << "予約3:火　07:30:00  ENABLE  POWER OFF";
    QTest::newRow("flag 00") << 0 << "X0000000000\r"
                             << "予約0:日　00:00:00  DISABLE POWER ON ";
    QTest::newRow("flag 01") << 1 << "X0100000001\r"
                             << "予約1:月　00:00:00  DISABLE POWER OFF";
    QTest::newRow("flag 08") << 2 << "X0300000008\r"
                             << "予約2:水　00:00:00  ENABLE  POWER ON ";
    QTest::newRow("flag 81") << 4 << "X04173B3B81\r"
                             << "予約4:木　23:59:59  ENABLE  POWER ON ";
    QTest::newRow("flag 7F") << 5 << "X050102037F\r"
                             << "予約5:金　01:02:03  ENABLE  POWER ON ";
    QTest::newRow("flag 80") << 6 << "X0600000080\r"
                             << "予約6:土　00:00:00  ENABLE  POWER ON ";
    QTest::newRow("lowercase hex") << 7 << "x070c1e3b09\r"
                                   << "予約7:毎日12:30:59  ENABLE  POWER OFF";
    QTest::newRow("hour 24, minute 60") << 8 << "X00183C3C00\r"
                                        << "予約8:日　00:00:00  DISABLE POWER ON ";
    // The empty day label shifts the rest two to the left (31 characters).
    QTest::newRow("day 8") << 1 << "X08010203\r"
                           << "予約1:01:02:03  DISABLE POWER ON ";
    // Four blanks shift it two to the right (35 characters).
    QTest::newRow("day FF") << 9 << "XFF010203\r"
                            << "予約9:    01:02:03  DISABLE POWER ON ";
    QTest::newRow("N only") << 4 << "N\r"
                            << "予約4:日　00:00:00  DISABLE POWER ON ";
    QTest::newRow("short") << 0 << "X0517\r"
                           << "予約0:金　23:00:00  DISABLE POWER ON ";
    QTest::newRow("empty") << 0 << ""
                           << "予約0:日　00:00:00  DISABLE POWER ON ";
}

void TestFormats::reservationLine() {
    QFETCH(int, n);
    QFETCH(QString, reply);
    QFETCH(QString, line);
    QCOMPARE(ReservationLine(n, reply), line);
}

void TestFormats::decodeLoadReply_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("friday enabled") << "X05171E0081\r" << 5 << 23 << 30 << 0 << true;
    QTest::newRow("every day") << "X0700000000\r" << 7 << 0 << 0 << 0 << false;
    QTest::newRow("day 8") << "X0801020300\r" << -1 << 1 << 2 << 3 << false;
    QTest::newRow("day 9") << "X0901020300\r" << -1 << 1 << 2 << 3 << false;
    QTest::newRow("day 255") << "XFF01020300\r" << -1 << 1 << 2 << 3 << false;
    QTest::newRow("hour 24") << "X0118000000\r" << 1 << -1 << 0 << 0 << false;
    QTest::newRow("minute/second 60") << "X01173C3C00\r" << 1 << 23 << -1 << -1 << false;
    QTest::newRow("flag 7F") << "X000000007F\r" << 0 << 0 << 0 << 0 << false;
    QTest::newRow("flag 80") << "X0000000080\r" << 0 << 0 << 0 << 0 << true;
    QTest::newRow("flag 09") << "X0000000009\r" << 0 << 0 << 0 << 0 << false;
    QTest::newRow("lowercase") << "x020a1e2bff\r" << 2 << 10 << 30 << 43 << true;
    QTest::newRow("short") << "X03\r" << 3 << 0 << 0 << 0 << false;
    QTest::newRow("N only") << "N\r" << 0 << 0 << 0 << 0 << false;
}

void TestFormats::decodeLoadReply() {
    QFETCH(QString, reply);
    QFETCH(int, day);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(bool, enabled);

    const LoadedReservation r = DecodeLoadReply(reply);
    QCOMPARE(orNone(r.day), day);
    QCOMPARE(orNone(r.hour), hour);
    QCOMPARE(orNone(r.minute), minute);
    QCOMPARE(orNone(r.second), second);
    QCOMPARE(r.enabled, enabled);
}

void TestFormats::parseListLine_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reservation");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("enabled");

    const QString everyDay = QStringLiteral("予約3:毎日06:30:00  ENABLE  POWER ON ");
    QTest::newRow("every day, row 4") << 4 << everyDay << 3 << 7 << 6 << 30 << 0 << true;
    QTest::newRow("digit in text ignored") << 1 << everyDay << 0 << 7 << 6 << 30 << 0 << true;
    QTest::newRow("disabled tuesday")
        << 2 << "予約1:火　07:30:05  DISABLE POWER OFF" << 1 << 2 << 7 << 30 << 5 << false;
    QTest::newRow("lowercase e") << 5 << "予約4:月　01:02:03  enable  POWER ON " << 4 << 1 << 1 << 2
                                 << 3 << false;
    QTest::newRow("clock row") << 0 << "現在 :水　12:34:56" << 10 << 3 << 12 << 34 << 56 << false;
    QTest::newRow("row 11 is the clock entry")
        << 11 << "予約0:土　23:59:59  ENABLE  POWER ON " << 10 << 6 << 23 << 59 << 59 << true;
    QTest::newRow("row 12") << 12 << "予約0:日　01:02:03  ENABLE  POWER ON " << -1 << 0 << 1 << 2
                            << 3 << true;
    // Four blanks for the day push the fields two to the right.
    QTest::newRow("no day characters")
        << 3 << "予約2:    10:20:30  ENABLE  POWER ON " << 2 << -1 << 0 << 0 << 0 << false;
    QTest::newRow("short row") << 6 << "予約5:金　07" << 5 << 5 << 7 << 0 << 0 << false;
    QTest::newRow("empty row") << 7 << "" << 6 << -1 << 0 << 0 << 0 << false;
    QTest::newRow("out of range") << 1 << "予約0:日　24:60:99" << 0 << 0 << -1 << -1 << -1 << false;
    QTest::newRow("negative hour") << 1 << "予約0:日　-1:05:07" << 0 << 0 << -1 << 5 << 7 << false;
    // Blanks are skipped, fractions round half to even.
    QTest::newRow("blank and fractions")
        << 1 << "予約0:日　 6:.5:2." << 0 << 0 << 6 << 0 << 2 << false;
}

void TestFormats::parseListLine() {
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(int, reservation);
    QFETCH(int, day);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(bool, enabled);

    const ParsedLine p = ParseListLine(row, text);
    QCOMPARE(orNone(p.reservation), reservation);
    QCOMPARE(orNone(p.day), day);
    QCOMPARE(orNone(p.hour), hour);
    QCOMPARE(orNone(p.minute), minute);
    QCOMPARE(orNone(p.second), second);
    QCOMPARE(p.enabled, enabled);
}

void TestFormats::buildSendCommand_data() {
    QTest::addColumn<int>("reservation");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("hour");
    QTest::addColumn<QString>("minute");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("enable");
    QTest::addColumn<QString>("command");

    QTest::newRow("every day enabled") << 2 << 7 << "6"
                                       << "30"
                                       << "0" << 1 << "D207061E0081";
    QTest::newRow("saturday disabled") << 9 << 6 << "23"
                                       << "59"
                                       << "59" << 0 << "D906173B3B00";
    QTest::newRow("all zero") << 0 << 0 << "0"
                              << "0"
                              << "0" << 0 << "D00000000000";
    QTest::newRow("clock") << 10 << 3 << "12"
                           << "34"
                           << "56" << 0 << "N 030C2238";
    QTest::newRow("clock ignores enable") << 10 << 3 << "12"
                                          << "34"
                                          << "56" << 1 << "N 030C2238";
    QTest::newRow("leading zero") << 1 << 1 << "09"
                                  << "9"
                                  << "0" << 0 << "D10109090000";
    QTest::newRow("empty and non-numeric") << 1 << 1 << ""
                                           << "abc"
                                           << "x1" << 0 << "D10100000000";
    QTest::newRow("300 and -1") << 3 << 2 << "1"
                                << "300"
                                << "-1" << 0 << "D302012CFF00";
    QTest::newRow("no day, write") << 4 << -1 << "1"
                                   << "2"
                                   << "3" << 0 << "D4FF01020300";
    QTest::newRow("no day, clock") << 10 << -1 << "1"
                                   << "2"
                                   << "3" << 0 << "N -1010203";
    QTest::newRow("no reservation") << -1 << 0 << "0"
                                    << "0"
                                    << "0" << 0 << "D-10000000000";
    QTest::newRow("grayed") << 5 << 0 << "0"
                            << "0"
                            << "0" << 2 << "D50000000000";
    QTest::newRow("halves to even") << 6 << 0 << "12.5"
                                    << "13.5"
                                    << " 1 2" << 1 << "D6000C0E0C81";
    QTest::newRow("32-bit limits") << 7 << 0 << "2147483647"
                                   << "-2147483648"
                                   << "0" << 0 << "D700FF000000";
    QTest::newRow("beyond 32 bits") << 8 << 0 << "2147483648"
                                    << "-2147483649"
                                    << "99999999999999999999" << 0 << "D80000000000";
}

void TestFormats::buildSendCommand() {
    QFETCH(int, reservation);
    QFETCH(int, day);
    QFETCH(QString, hour);
    QFETCH(QString, minute);
    QFETCH(QString, second);
    QFETCH(int, enable);
    QFETCH(QString, command);

    EditorValues v;
    v.reservation = reservation;
    v.day = day;
    v.hour = hour;
    v.minute = minute;
    v.second = second;
    v.enable = enable;
    QCOMPARE(BuildSendCommand(v), command);
}

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
