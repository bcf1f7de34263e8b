// String utilities and the system settings file.
#include "strutil.h"
#include "sysfile.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace morvane;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

void putBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The settings file as written for the given values, spelled out byte by byte
// (comments in code page 932).
QByteArray settingsBytes(const QByteArray& comport, const QByteArray& baud, const QByteArray& bits,
                         const QByteArray& parity, const QByteArray& stops,
                         const QByteArray& timeout, const QByteArray& retry,
                         const QByteArray& backup) {
    return "COMPORT," + comport + "," + QByteArray::fromHex("92ca904dcedfb0c494d48d86") + "\r\n" +
           "BAUDRATE," + baud + "," + QByteArray::fromHex("202092ca904d91ac9378") + "\r\n" +
           "BITS," + bits + "," + QByteArray::fromHex("202092ca904dc3deb0c0cbdeafc492b7") + "\r\n" +
           "PARITY," + parity + "," + QByteArray::fromHex("202092ca904dcadfd8c3a8c1aaafb8") +
           "\r\n" + "STOPS," + stops + "," +
           QByteArray::fromHex("202092ca904dbdc4afccdfcbdeafc492b7") + "\r\n" + "ComTimeOut," +
           timeout + "," + QByteArray::fromHex("202092ca904d88d98fed8c9f8f6f8e9e8ad4") + "\r\n" +
           "ComReTry," + retry + "," +
           QByteArray::fromHex("202092ca904d88d98fed8e9e8dc48e8e8d7389f19094") + "\r\n" +
           "BackUpFile," + backup + ",\r\n" + "\r\n";
}

QByteArray defaultBytes(const QString& appDir) {
    return settingsBytes("1", "9600", "8", "N", "1", "2", "1",
                         QFile::encodeName(appDir) + "/Morvane.DAT");
}

void compareRecord(const SysSettingsRecord& got, const SysSettingsRecord& want) {
    QCOMPARE(got.COMPORT, want.COMPORT);
    QCOMPARE(got.BAUDRATE, want.BAUDRATE);
    QCOMPARE(got.BITS, want.BITS);
    QCOMPARE(got.PARITY, want.PARITY);
    QCOMPARE(got.STOPS, want.STOPS);
    QCOMPARE(got.ComTimeOut, want.ComTimeOut);
    QCOMPARE(got.ComReTry, want.ComReTry);
    QCOMPARE(got.BackUpFile, want.BackUpFile);
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void strCut_data();
    void strCut();
    void strCsv_data();
    void strCsv();
    void chrTrim_data();
    void chrTrim();
    void chrTrimArray();
    void val_data();
    void val();
    void rounding_data();
    void rounding();
    void signedText();

    void paths();
    void defaults();
    void missingFileCreatesDefaults();
    void missingDirectory();
    void unreadableFileKeepsDefaults();
    void readRules_data();
    void readRules();
    void pathCase();
    void roundTrip();
    void writeReplacesFile();
    void writeBadPathKeepsFile();
};

void TestSettings::strCut_data() {
    QTest::addColumn<QString>("buff");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<QString>("piece");
    QTest::addColumn<QString>("rest");
    QTest::newRow("a,b") << "a,b"
                         << ","
                         << "a"
                         << "b";
    QTest::newRow("no separator") << "ab"
                                  << ","
                                  << "ab"
                                  << "";
    QTest::newRow("empty") << ""
                           << ","
                           << ""
                           << "";
    QTest::newRow("leading comma") << ",x"
                                   << ","
                                   << ""
                                   << "x";
    QTest::newRow("long separator drops one char") << "a;;b"
                                                   << ";;"
                                                   << "a"
                                                   << ";b";
    QTest::newRow("trailing comma") << "a,"
                                    << ","
                                    << "a"
                                    << "";
}

void TestSettings::strCut() {
    QFETCH(QString, buff);
    QFETCH(QString, sep);
    QFETCH(QString, piece);
    QFETCH(QString, rest);
    QCOMPARE(StrCut(buff, sep), piece);
    QCOMPARE(buff, rest);
}

void TestSettings::strCsv_data() {
    QTest::addColumn<QString>("buff");
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("fields"); // the whole array afterwards
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("rest");
    QTest::newRow("key value comment")
        << "COMPORT,1,x" << 3 << QStringList{"COMPORT", "1", "old"} << 1 << "x";
    QTest::newRow("closing comma") << "a,b," << 3 << QStringList{"a", "b", "old"} << 1 << "";
    QTest::newRow("no comma") << "abc" << 2 << QStringList{"abc", "old"} << 0 << "";
    QTest::newRow("empty") << "" << 2 << QStringList{"", "old"} << 0 << "";
    QTest::newRow("two commas") << ",," << 3 << QStringList{"", "", "old"} << 1 << "";
    QTest::newRow("more commas than entries")
        << "a,b,c,d,e" << 2 << QStringList{"a", "b"} << 1 << "e";
    QTest::newRow("no room at all") << "a,b" << 0 << QStringList{} << -1 << "b";
}

void TestSettings::strCsv() {
    QFETCH(QString, buff);
    QFETCH(int, size);
    QFETCH(QStringList, fields);
    QFETCH(int, last);
    QFETCH(QString, rest);
    QStringList data(size, QStringLiteral("old"));
    qint16 count = -7;
    StrCSV(buff, data, count);
    QCOMPARE(data, fields);
    QCOMPARE(count, qint16(last));
    QCOMPARE(buff, rest);
}

void TestSettings::chrTrim_data() {
    QTest::addColumn<QString>("buff");
    QTest::addColumn<QChar>("low");
    QTest::addColumn<QChar>("high");
    QTest::addColumn<QString>("kept");
    QTest::newRow("range a-b") << "abc" << QChar('a') << QChar('b') << "ab";
    QTest::newRow("tab removed") << "A\tB" << QChar(' ') << QChar('Z') << "AB";
    QTest::newRow("empty") << "" << QChar(' ') << QChar('Z') << "";
    QTest::newRow("no upper bound")
        << QStringLiteral("C:\\ﾃﾞｰﾀ\\データ é\U0001F600\x01\x1f") << QChar(' ') << QChar(0xFFFF)
        << QStringLiteral("C:\\ﾃﾞｰﾀ\\データ é\U0001F600");
}

void TestSettings::chrTrim() {
    QFETCH(QString, buff);
    QFETCH(QChar, low);
    QFETCH(QChar, high);
    QFETCH(QString, kept);
    const QString before = buff;
    QCOMPARE(ChrTrim(buff, low, high), kept);
    QCOMPARE(buff, before);
}

void TestSettings::chrTrimArray() {
    QStringList data{"com", "1", "x"};
    ChrTrimArray(data, 1, QChar(' '), QChar('~'));
    QCOMPARE(data, (QStringList{"COM", "1", "x"}));

    data = QStringList{QStringLiteral("d:\\daten\\\tä.dat"), "y"};
    ChrTrimArray(data, 0, QChar(' '), QChar(0xFFFF));
    QCOMPARE(data, (QStringList{QStringLiteral("D:\\DATEN\\Ä.DAT"), "y"}));

    data = QStringList{"a"};
    ChrTrimArray(data, -1, QChar(' '), QChar(0xFFFF));
    QCOMPARE(data, QStringList{"a"});
}

void TestSettings::val_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "42" << 42.0;
    QTest::newRow("trailing text") << "12abc" << 12.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("fraction") << "1.5" << 1.5;
    QTest::newRow("leading point") << ".25" << 0.25;
    QTest::newRow("blanks anywhere") << " 1 2 .5 " << 12.5;
    QTest::newRow("tab") << "\t7" << 7.0;
    QTest::newRow("negative") << "-3" << -3.0;
    QTest::newRow("sign then blank") << "- 3" << -3.0;
    QTest::newRow("plus") << "+8" << 8.0;
    QTest::newRow("two signs") << "--3" << 0.0;
    QTest::newRow("no exponent") << "1e3" << 1.0;
    QTest::newRow("second point ends") << "1.2.3" << 1.2;
    QTest::newRow("sign after digits ends") << "5-2" << 5.0;
}

void TestSettings::val() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Val(text), value);
}

void TestSettings::rounding_data() {
    QTest::addColumn<double>("v");
    QTest::addColumn<int>("r16"); // 99999 = out of range
    QTest::addColumn<qint64>("r32");
    const qint64 none = std::numeric_limits<qint64>::min();
    QTest::newRow("4800.5") << 4800.5 << 4800 << qint64(4800);
    QTest::newRow("4801.5") << 4801.5 << 4802 << qint64(4802);
    QTest::newRow("0.5") << 0.5 << 0 << qint64(0);
    QTest::newRow("-2.5") << -2.5 << -2 << qint64(-2);
    QTest::newRow("-1.5") << -1.5 << -2 << qint64(-2);
    QTest::newRow("2.4999") << 2.4999 << 2 << qint64(2);
    QTest::newRow("2.5001") << 2.5001 << 3 << qint64(3);
    QTest::newRow("32767") << 32767.0 << 32767 << qint64(32767);
    QTest::newRow("32767.5") << 32767.5 << 99999 << qint64(32768);
    QTest::newRow("-32768.5") << -32768.5 << -32768 << qint64(-32768);
    QTest::newRow("-32769") << -32769.0 << 99999 << qint64(-32769);
    QTest::newRow("2^31") << 2147483648.0 << 99999 << none;
    QTest::newRow("-2^31") << -2147483648.0 << 99999 << qint64(-2147483648LL);
    QTest::newRow("inf") << std::numeric_limits<double>::infinity() << 99999 << none;
    QTest::newRow("nan") << std::nan("") << 99999 << none;
}

void TestSettings::rounding() {
    QFETCH(double, v);
    QFETCH(int, r16);
    QFETCH(qint64, r32);
    const auto a = RoundToInt16(v);
    if (r16 == 99999)
        QVERIFY(!a.has_value());
    else
        QCOMPARE(a, std::optional<qint16>(qint16(r16)));
    const auto b = RoundToInt32(v);
    if (r32 == std::numeric_limits<qint64>::min())
        QVERIFY(!b.has_value());
    else
        QCOMPARE(b, std::optional<qint32>(qint32(r32)));
}

void TestSettings::signedText() {
    QCOMPARE(SignedText(1), QStringLiteral(" 1"));
    QCOMPARE(SignedText(0), QStringLiteral(" 0"));
    QCOMPARE(SignedText(-3), QStringLiteral("-3"));
    QCOMPARE(SignedText(32767), QStringLiteral(" 32767"));
}

void TestSettings::paths() {
    QCOMPARE(AppFilePath("/app", "Morvane.SYS"), QStringLiteral("/app/Morvane.SYS"));
    QCOMPARE(AppFilePath("/", "Morvane.SYS"), QStringLiteral("//Morvane.SYS"));
    QVERIFY(PathsAreCaseSensitive());

    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString got = CurrentAppDir();
    QDir::setCurrent(before);
    QCOMPARE(got, QDir(dir.path()).canonicalPath());
}

void TestSettings::defaults() {
    SysSettingsRecord s;
    s.COMPORT = 9;
    s.PARITY = "E";
    s.BackUpFile = "x";
    QString sysFile;
    SetDefaultSys("/app", s, sysFile);
    QCOMPARE(sysFile, QStringLiteral("/app/Morvane.SYS"));
    QCOMPARE(s.COMPORT, qint16(1));
    QCOMPARE(s.BAUDRATE, qint16(9600));
    QCOMPARE(s.BITS, qint16(8));
    QCOMPARE(s.PARITY, QStringLiteral("N"));
    QCOMPARE(s.STOPS, qint16(1));
    QCOMPARE(s.ComTimeOut, qint16(2));
    QCOMPARE(s.ComReTry, qint16(1));
    QCOMPARE(s.BackUpFile, QStringLiteral("/app/Morvane.DAT"));
}

void TestSettings::missingFileCreatesDefaults() {
    QTemporaryDir dir;
    SysSettingsRecord s;
    QString sysFile;
    SetDefaultSys(dir.path(), s, sysFile);
    const SysSettingsRecord before = s;
    QStringList shown;
    qint16 errNo = -7;
    ReadSys(sysFile, s, errNo, [&](const QString& m) { shown.append(m); });
    QCOMPARE(shown, QStringList{QStringLiteral("ファイル名が見つかりません。")});
    QCOMPARE(errNo, qint16(0));
    compareRecord(s, before);
    QCOMPARE(fileBytes(dir.filePath("Morvane.SYS")), defaultBytes(dir.path()));
}

void TestSettings::missingDirectory() {
    QTemporaryDir dir;
    SysSettingsRecord s;
    QString sysFile;
    SetDefaultSys(dir.filePath("gone"), s, sysFile);
    QStringList shown;
    qint16 errNo = -7;
    ReadSys(sysFile, s, errNo, [&](const QString& m) { shown.append(m); });
    QCOMPARE(shown, QStringList{QStringLiteral("指定されたパスが存在しません。")});
    QCOMPARE(errNo, qint16(76));
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestSettings::unreadableFileKeepsDefaults() {
    QTemporaryDir dir;
    SysSettingsRecord s;
    QString sysFile;
    SetDefaultSys(dir.path(), s, sysFile);
    const SysSettingsRecord before = s;
    const QByteArray bad = "COMPORT,5,\r\nPARITY,\x82\x20,\r\n";
    putBytes(sysFile, bad);
    QStringList shown;
    qint16 errNo = -7;
    ReadSys(sysFile, s, errNo, [&](const QString& m) { shown.append(m); });
    QCOMPARE(shown, QStringList{QStringLiteral("エラー番号5が発生しました。")});
    QCOMPARE(errNo, qint16(5));
    compareRecord(s, before);
    QCOMPARE(fileBytes(sysFile), bad);

    // More lines than the reader's array: the same, with its own number.
    const QByteArray longFile = QByteArray("COMPORT,5,\r\n").repeated(1026);
    putBytes(sysFile, longFile);
    shown.clear();
    ReadSys(sysFile, s, errNo, [&](const QString& m) { shown.append(m); });
    QCOMPARE(shown, QStringList{QStringLiteral("エラー番号9が発生しました。")});
    compareRecord(s, before);
    QCOMPARE(fileBytes(sysFile), longFile);
}

void TestSettings::readRules_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("changes"); // FIELD=value; every other field keeps its default
    QTest::newRow("key in lower case") << QByteArray("comport,3,x\r\n") << QStringList{"COMPORT=3"};
    QTest::newRow("blank before key") << QByteArray(" COMPORT,3,x\r\n") << QStringList{};
    QTest::newRow("blank before value")
        << QByteArray("COMPORT, 3,x\r\n") << QStringList{"COMPORT=3"};
    QTest::newRow("no comma after value") << QByteArray("COMPORT,3\r\n") << QStringList{};
    QTest::newRow("no leftover from the line before")
        << QByteArray("BITS,7,x\r\nCOMPORT,9\r\n") << QStringList{"BITS=7"};
    QTest::newRow("half rounds down to even")
        << QByteArray("BAUDRATE,4800.5,x\r\n") << QStringList{"BAUDRATE=4800"};
    QTest::newRow("half rounds up to even")
        << QByteArray("BAUDRATE,4801.5,x\r\n") << QStringList{"BAUDRATE=4802"};
    QTest::newRow("no number") << QByteArray("BITS,abc,x\r\n") << QStringList{"BITS=0"};
    QTest::newRow("number then text") << QByteArray("BITS,7bits,x\r\n") << QStringList{"BITS=7"};
    QTest::newRow("empty value") << QByteArray("STOPS,,x\r\n") << QStringList{"STOPS=0"};
    QTest::newRow("negative") << QByteArray("STOPS,-1.5,x\r\n") << QStringList{"STOPS=-2"};
    QTest::newRow("parity upper-cased") << QByteArray("PARITY,e,x\r\n") << QStringList{"PARITY=E"};
    QTest::newRow("tab inside key") << QByteArray("COM\tPORT,2,x\r\n") << QStringList{"COMPORT=2"};
    QTest::newRow("blank inside key") << QByteArray("COM PORT,2,x\r\n") << QStringList{};
    QTest::newRow("later line wins")
        << QByteArray("COMPORT,2,\r\nCOMPORT,4,\r\n") << QStringList{"COMPORT=4"};
    QTest::newRow("out of range keeps value")
        << QByteArray("BAUDRATE,40000,\r\nComTimeOut,32767.5,\r\nComReTry,-32769,\r\n")
        << QStringList{};
    QTest::newRow("range ends") << QByteArray("ComTimeOut,32767,\r\nComReTry,-32768,\r\n")
                                << QStringList{"ComTimeOut=32767", "ComReTry=-32768"};
    QTest::newRow("many commas") << QByteArray("COMPORT,5,a,b,c,d,e,f,g,h,i,j,k,\r\nBITS,7,\r\n")
                                 << QStringList{"COMPORT=5", "BITS=7"};
    QTest::newRow("no exponent") << QByteArray("COMPORT,1e3,\r\n") << QStringList{"COMPORT=1"};
    QTest::newRow("unknown keys and blank lines")
        << QByteArray("NOTE,1,\r\n\r\n,,\r\nComReTry,3,\r\n") << QStringList{"ComReTry=3"};
    QTest::newRow("every key, mixed case, no final line end")
        << QByteArray("Comport,2,\r\nBaudRate,4800,\r\nbits,7,\r\nParity,o,\r\nStops,2,\r\n"
                      "COMTIMEOUT,5,\r\ncomretry,3,\r\nBACKUPFILE,/b/x.dat,")
        << QStringList{"COMPORT=2", "BAUDRATE=4800", "BITS=7",     "PARITY=O",
                       "STOPS=2",   "ComTimeOut=5",  "ComReTry=3", "BackUpFile=/b/x.dat"};
    QTest::newRow("lone LF stays in the line")
        << QByteArray("COMPORT,2,\nBITS,7,\r\n") << QStringList{"COMPORT=2"};
    QTest::newRow("control characters dropped from path")
        << QByteArray("BackUpFile,/data/\tmy\x01 file.dat,\r\n")
        << QStringList{"BackUpFile=/data/my file.dat"};
}

void TestSettings::readRules() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, changes);
    QTemporaryDir dir;
    SysSettingsRecord s;
    QString sysFile;
    SetDefaultSys("/app", s, sysFile);
    SysSettingsRecord want = s;
    for (const QString& c : changes) {
        const QString field = c.section('=', 0, 0);
        const QString value = c.section('=', 1);
        if (field == "COMPORT")
            want.COMPORT = qint16(value.toInt());
        else if (field == "BAUDRATE")
            want.BAUDRATE = qint16(value.toInt());
        else if (field == "BITS")
            want.BITS = qint16(value.toInt());
        else if (field == "PARITY")
            want.PARITY = value;
        else if (field == "STOPS")
            want.STOPS = qint16(value.toInt());
        else if (field == "ComTimeOut")
            want.ComTimeOut = qint16(value.toInt());
        else if (field == "ComReTry")
            want.ComReTry = qint16(value.toInt());
        else if (field == "BackUpFile")
            want.BackUpFile = value;
        else
            QFAIL("unknown field in test data");
    }
    const QString path = dir.filePath("Morvane.SYS");
    putBytes(path, bytes);
    QStringList shown;
    qint16 errNo = -7;
    ReadSys(path, s, errNo, [&](const QString& m) { shown.append(m); });
    QVERIFY(shown.isEmpty());
    QCOMPARE(errNo, qint16(-7));
    compareRecord(s, want);
    QCOMPARE(fileBytes(path), bytes); // a successful read never rewrites the file
}

void TestSettings::pathCase() {
    QTemporaryDir dir;
    const QString path = dir.filePath("Morvane.SYS");
    // "d:\data\" then "データ" and half-width "ｱ" in code page 932.
    putBytes(path, "PARITY,e,\r\nBackUpFile,d:\\data\\\x83\x66\x81\x5b\x83\x5e\xb1.dat,\r\n");
    SysSettingsRecord s;
    qint16 errNo = 0;
    ReadSys(path, s, errNo, {}, true);
    QCOMPARE(s.BackUpFile, QStringLiteral("d:\\data\\データｱ.dat"));
    QCOMPARE(s.PARITY, QStringLiteral("E"));
    ReadSys(path, s, errNo, {}, false);
    QCOMPARE(s.BackUpFile, QStringLiteral("D:\\DATA\\データｱ.DAT"));
}

void TestSettings::roundTrip() {
    QTemporaryDir dir;
    SysSettingsRecord s;
    QString sysFile;
    SetDefaultSys(dir.filePath("Mixed Case"), s, sysFile);
    QVERIFY(QDir(dir.path()).mkdir("Mixed Case"));
    s.COMPORT = -4;
    s.BAUDRATE = 32767;
    s.PARITY = "E";
    const SysSettingsRecord written = s;
    QStringList shown;
    WriteSys(sysFile, s, [&](const QString& m) { shown.append(m); });
    SysSettingsRecord back;
    qint16 errNo = 0;
    ReadSys(sysFile, back, errNo, [&](const QString& m) { shown.append(m); });
    QVERIFY(shown.isEmpty());
    compareRecord(back, written);
}

void TestSettings::writeReplacesFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("Morvane.SYS");
    putBytes(path, "NOTE,1,\r\nCOMPORT,2,\r\n");
    SysSettingsRecord s;
    s.COMPORT = 3;
    s.BAUDRATE = 4800;
    s.BITS = 7;
    s.PARITY = "O";
    s.STOPS = 2;
    s.ComTimeOut = -5;
    s.ComReTry = 4;
    s.BackUpFile = QStringLiteral("/d/予約.DAT");
    QStringList shown;
    WriteSys(path, s, [&](const QString& m) { shown.append(m); });
    QVERIFY(shown.isEmpty());
    QCOMPARE(fileBytes(path),
             settingsBytes("3", "4800", "7", "O", "2", "-5", "4", "/d/\x97\x5c\x96\xf1.DAT"));
}

void TestSettings::writeBadPathKeepsFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("Morvane.SYS");
    putBytes(path, "COMPORT,2,\r\n");
    SysSettingsRecord s;
    s.BackUpFile = QStringLiteral("/home/caf\u00e9/Morvane.DAT");
    QStringList shown;
    WriteSys(path, s, [&](const QString& m) { shown.append(m); });
    QCOMPARE(shown, QStringList{QStringLiteral("エラー番号5が発生しました。")});
    QCOMPARE(fileBytes(path), QByteArray("COMPORT,2,\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Morvane.SYS"});
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
