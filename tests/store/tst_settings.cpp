// String utilities and the system settings file.
#include "storetest.h"
#include "strutil.h"
#include "sysfile.h"

#include <QTemporaryDir>

#include <limits>

using namespace morvane;

namespace {

// The default settings file; comments in code page 932, %DIR% the app directory.
const QByteArray kDefaultFile =
    "COMPORT,1,\x92\xca\x90M\xce\xdf\xb0\xc4\x94\xd4\x8d\x86\r\n"
    "BAUDRATE,9600,  \x92\xca\x90M\x91\xac\x93x\r\n"
    "BITS,8,  \x92\xca\x90M\xc3\xde\xb0\xc0\xcb\xde\xaf\xc4\x92\xb7\r\n"
    "PARITY,N,  \x92\xca\x90M\xca\xdf\xd8\xc3\xa8\xc1\xaa\xaf\xb8\r\n"
    "STOPS,1,  \x92\xca\x90M\xbd\xc4\xaf\xcc\xdf\xcb\xde\xaf\xc4\x92\xb7\r\n"
    "ComTimeOut,2,  \x92\xca\x90M\x88\xd9\x8f\xed\x8c\x9f\x8fo\x8e\x9e\x8a\xd4\r\n"
    "ComReTry,1,  \x92\xca\x90M\x88\xd9\x8f\xed\x8e\x9e\x8d\xc4\x8e\x8e\x8ds\x89\xf1\x90\x94\r\n"
    "BackUpFile,%DIR%/Morvane.DAT,\r\n"
    "\r\n";

const QString kDefaults = QStringLiteral("1|9600|8|N|1|2|1|/a/Morvane.DAT");
const QStringList kKeys{"COMPORT", "BAUDRATE",   "BITS",     "PARITY",
                        "STOPS",   "COMTIMEOUT", "COMRETRY", "BACKUPFILE"};
const qint64 kNone = std::numeric_limits<qint64>::min(); // out of range

// Every field, '|'-separated, for one readable comparison.
QString fields(const SysSettingsRecord& s) {
    return QStringList{QString::number(s.COMPORT),  QString::number(s.BAUDRATE),
                       QString::number(s.BITS),     s.PARITY,
                       QString::number(s.STOPS),    QString::number(s.ComTimeOut),
                       QString::number(s.ComReTry), s.BackUpFile}
        .join('|');
}

struct Read {
    SysSettingsRecord s;
    QString sysFile;
    qint16 errNo = -7;
    QStringList shown;
};

// Reads `path` into a record set to the defaults for `appDir`.
Read readSys(const QString& path, bool keepPathCase = true, const QString& appDir = "/a") {
    Read r;
    r.s.COMPORT = 9; // the defaults replace whatever was there
    SetDefaultSys(appDir, r.s, r.sysFile);
    ReadSys(
        path.isEmpty() ? r.sysFile : path, r.s, r.errNo,
        [&r](const QString& m) { r.shown.append(m); }, keepPathCase);
    return r;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    // A separator: StrCut, want "piece#rest"; none: StrCSV into `size` entries,
    // want "entries#last#rest".
    void split_data() {
        QTest::addColumn<QString>("sep");
        QTest::addColumn<QString>("buff");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("want");
        const auto row = [](const char* tag, const char* sep, const char* buff, int size,
                            const char* want) {
            QTest::newRow(tag) << sep << buff << size << want;
        };
        row("cut", ",", "a,b", 0, "a#b");
        row("cut, no separator", ",", "ab", 0, "ab#");
        row("cut, empty", ",", "", 0, "#");
        row("cut, long separator drops one char", ";;", "a;;b", 0, "a#;b");
        row("csv", "", "K,1,x", 3, "K|1|old#1#x");
        row("csv, no comma", "", "abc", 2, "abc|old#0#");
        row("csv, more than fits", "", "a,b,c,d,e", 2, "a|b#1#e");
        row("csv, no room", "", "a,b", 0, "#-1#b");
    }
    void split() {
        QFETCH(QString, sep);
        QFETCH(QString, buff);
        QFETCH(int, size);
        QFETCH(QString, want);
        if (!sep.isEmpty()) {
            const QString piece = StrCut(buff, sep);
            QCOMPARE(piece + '#' + buff, want);
            return;
        }
        QStringList data(size, QStringLiteral("old"));
        qint16 last = -7;
        StrCSV(buff, data, last);
        QCOMPARE(data.join('|') + '#' + QString::number(last) + '#' + buff, want);
    }

    // ChrTrim keeps case; ChrTrimArray upper-cases first.
    void chrTrim_data() {
        QTest::addColumn<QString>("buff");
        QTest::addColumn<QChar>("high");
        QTest::addColumn<QString>("kept");
        QTest::newRow("range") << "a b~" << QChar('b') << "a b";
        QTest::newRow("tab dropped") << "d:\\x\ty" << QChar(0xFFFF) << "d:\\xy";
        QTest::newRow("no upper bound")
            << QStringLiteral("ﾃﾞｰﾀ/データ é\U0001F600\x01\x1f") << QChar(0xFFFF)
            << QStringLiteral("ﾃﾞｰﾀ/データ é\U0001F600");
    }
    void chrTrim() {
        QFETCH(QString, buff);
        QFETCH(QChar, high);
        QFETCH(QString, kept);
        QCOMPARE(ChrTrim(buff, QChar(' '), high), kept);
        QStringList data{buff, "x"};
        ChrTrimArray(data, 0, QChar(' '), high);
        QCOMPARE(data, (QStringList{kept.toUpper(), "x"}));
    }

    // Val, then that value rounded half to even into 16 and 32 bits.
    void number_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("r16");
        QTest::addColumn<qint64>("r32");
        QTest::newRow("trailing text") << "12abc" << 12.0 << qint64(12) << qint64(12);
        QTest::newRow("blanks anywhere") << " 1 2 .5 " << 12.5 << qint64(12) << qint64(12);
        QTest::newRow("tab, sign, blank") << "\t- 3" << -3.0 << qint64(-3) << qint64(-3);
        QTest::newRow("two signs") << "--3" << 0.0 << qint64(0) << qint64(0);
        QTest::newRow("no exponent") << "1e3" << 1.0 << qint64(1) << qint64(1);
        QTest::newRow("second point ends") << "1.2.3" << 1.2 << qint64(1) << qint64(1);
        QTest::newRow("sign after digits ends") << "5-2" << 5.0 << qint64(5) << qint64(5);
        QTest::newRow("4801.5") << "4801.5" << 4801.5 << qint64(4802) << qint64(4802);
        QTest::newRow("-2.5") << "-2.5" << -2.5 << qint64(-2) << qint64(-2);
        QTest::newRow("32767.5") << "32767.5" << 32767.5 << kNone << qint64(32768);
        QTest::newRow("-32768.5") << "-32768.5" << -32768.5 << qint64(-32768) << qint64(-32768);
        QTest::newRow("-32769") << "-32769" << -32769.0 << kNone << qint64(-32769);
        QTest::newRow("2^31") << "2147483648" << 2147483648.0 << kNone << kNone;
        QTest::newRow("-2^31") << "-2147483648" << -2147483648.0 << kNone << qint64(-2147483648LL);
        QTest::newRow("beyond double")
            << "1" + QString(400, '0') << std::numeric_limits<double>::infinity() << kNone << kNone;
    }
    void number() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(qint64, r16);
        QFETCH(qint64, r32);
        QCOMPARE(Val(text), value);
        const auto a = RoundToInt16(value);
        const auto b = RoundToInt32(value);
        QCOMPARE(a ? qint64(*a) : kNone, r16);
        QCOMPARE(b ? qint64(*b) : kNone, r32);
    }

    void smallHelpers() {
        QCOMPARE(SignedText(1), QStringLiteral(" 1"));
        QCOMPARE(SignedText(0), QStringLiteral(" 0"));
        QCOMPARE(SignedText(-3), QStringLiteral("-3"));
        QCOMPARE(AppFilePath("/", "Morvane.SYS"), QStringLiteral("//Morvane.SYS"));
    }

    void missingFileWritesDefaults() {
        QTemporaryDir dir;
        Read r = readSys(QString(), true, dir.path());
        QCOMPARE(r.sysFile, dir.filePath("Morvane.SYS"));
        QCOMPARE(r.shown, QStringList{QStringLiteral("ファイル名が見つかりません。")});
        QCOMPARE(r.errNo, qint16(0));
        QCOMPARE(fields(r.s), QString(kDefaults).replace("/a", dir.path()));
        QCOMPARE(fileBytes(r.sysFile),
                 QByteArray(kDefaultFile).replace("%DIR%", dir.path().toUtf8()));

        // In a missing directory nothing is created.
        r = readSys(QString(), true, dir.filePath("gone"));
        QCOMPARE(r.shown, QStringList{QStringLiteral("指定されたパスが存在しません。")});
        QCOMPARE(r.errNo, qint16(76));
        QVERIFY(!QDir(dir.filePath("gone")).exists());
    }

    // A file that cannot be read keeps the record and is never rewritten.
    void badFileChangesNothing() {
        QTemporaryDir dir;
        const QByteArray bad = "COMPORT,5,\r\nPARITY,\x82\x20,\r\n";
        putBytes(dir.filePath("Morvane.SYS"), bad);
        const Read r = readSys(dir.filePath("Morvane.SYS"));
        QCOMPARE(r.shown, QStringList{numbered(5)});
        QCOMPARE(r.errNo, qint16(5));
        QCOMPARE(fields(r.s), kDefaults);
        QCOMPARE(fileBytes(dir.filePath("Morvane.SYS")), bad);
    }

    // `want`: the fields that differ from the defaults, as KEY=value.
    void readRules_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("keepPathCase");
        QTest::addColumn<QString>("want");
        const auto row = [](const char* tag, const QByteArray& bytes, const QString& want,
                            bool keepPathCase = true) {
            QTest::newRow(tag) << bytes << keepPathCase << want;
        };
        row("key case", "comport,3,x\r\n", "COMPORT=3");
        row("blank before key", " COMPORT,3,x\r\n", "");
        row("no comma after value", "COMPORT,3\r\n", "");
        row("nothing left from the line before", "BITS,7,\r\nCOMPORT,9\r\n", "BITS=7");
        row("half to even", "BAUDRATE,4801.5,\r\nBITS,6.5,\r\n", "BAUDRATE=4802 BITS=6");
        row("not a number", "BITS,abc,\r\nSTOPS,,\r\n", "BITS=0 STOPS=0");
        row("out of range keeps value",
            "BAUDRATE,40000,\r\nComTimeOut,32767.5,\r\nComReTry,-32769,\r\n", "");
        row("range ends", "ComTimeOut,32767,\r\nComReTry,-32768,\r\n",
            "COMTIMEOUT=32767 COMRETRY=-32768");
        row("tab in key", "COM\tPORT,2,\r\nCOM PORT,4,\r\n", "COMPORT=2");
        row("later line wins", "COMPORT,2,\r\nCOMPORT,4,\r\n", "COMPORT=4");
        row("too many commas", "COMPORT,5,a,b,c,d,e,f,g,h,i,\r\nBITS,7,\r\n", "COMPORT=5 BITS=7");
        row("every key, mixed case, last line unended",
            "Comport,2,\r\nBaudRate,4800,\r\nbits,7,\r\nParity,o,\r\nStops,2,\r\n"
            "COMTIMEOUT,5,\r\ncomretry,3,\r\nBACKUPFILE,/b/x.dat,",
            "COMPORT=2 BAUDRATE=4800 BITS=7 PARITY=O STOPS=2 COMTIMEOUT=5 COMRETRY=3 "
            "BACKUPFILE=/b/x.dat");
        // "d:\Data\" then "データ" and half-width "ｱ" in code page 932.
        const QByteArray path = "BackUpFile,d:\\Data\\\x83\x66\x81\x5b\x83\x5e\xb1\t.dat,\r\n";
        row("path case kept, controls dropped", path, "BACKUPFILE=d:\\Data\\データｱ.dat");
        row("path upper-cased where names ignore case", path, "BACKUPFILE=D:\\DATA\\データｱ.DAT",
            false);
    }
    void readRules() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, keepPathCase);
        QFETCH(QString, want);
        QTemporaryDir dir;
        putBytes(dir.filePath("Morvane.SYS"), bytes);
        const Read r = readSys(dir.filePath("Morvane.SYS"), keepPathCase);
        QVERIFY(r.shown.isEmpty());
        QCOMPARE(r.errNo, qint16(-7));
        QStringList expected = kDefaults.split('|');
        for (const QString& kv : want.split(' ', Qt::SkipEmptyParts))
            expected[kKeys.indexOf(kv.section('=', 0, 0))] = kv.section('=', 1);
        QCOMPARE(fields(r.s), expected.join('|'));
        QCOMPARE(fileBytes(dir.filePath("Morvane.SYS")), bytes); // a good read never rewrites
    }

    void rewriteDropsUnknownLines() {
        QTemporaryDir dir;
        const QString path = dir.filePath("Morvane.SYS");
        putBytes(path, "NOTE,1,\r\ncomport,-3,\r\nparity,o,\r\nComTimeOut,32767,\r\n"
                       "BackUpFile,/d/\x97\x5c\x96\xf1.DAT,\r\n");
        const Read r = readSys(path);
        QStringList shown;
        WriteSys(path, r.s, [&](const QString& m) { shown.append(m); });
        QVERIFY(shown.isEmpty());
        QCOMPARE(fileBytes(path), QByteArray(kDefaultFile)
                                      .replace("COMPORT,1,", "COMPORT,-3,")
                                      .replace("PARITY,N,", "PARITY,O,")
                                      .replace("ComTimeOut,2,", "ComTimeOut,32767,")
                                      .replace("%DIR%/Morvane.DAT", "/d/\x97\x5c\x96\xf1.DAT"));
        QCOMPARE(fields(readSys(path).s), fields(r.s));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
