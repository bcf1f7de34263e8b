// SPDX-License-Identifier: MIT
// Whole-file text I/O and its error numbers, string utilities, the settings and backup files.
#include "backup.h"
#include "strutil.h"
#include "sysfile.h"
#include "testdata.h"
#include "textfile.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// Hidden names included, so a leftover temporary file shows.
QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// What a call leaves behind; the initial values are what a failure must not touch.
struct Result {
    QStringList data = QStringList(kReadLineArraySize, QStringLiteral("untouched"));
    qint16 count = -7, errFG = 7, errNo = -7;
    QStringList shown;
    MessageFn show = [this](const QString& m) { shown << m; };
};

// One read or write in a current folder holding "in.txt", "sub/", a read-only
// "plain", a FIFO "pipe" and "old".
struct FileCase {
    QString read = QStringLiteral("in.txt");
    QString write;     // null: a read
    QByteArray bytes;  // in.txt's
    QStringList lines; // read; or written after a first line "a"
    int errNo = 0;
    QString text = QStringLiteral("エラー番号%1が発生しました。").arg(errNo); // shown
};

struct SysCase {
    QByteArray bytes;
    SysSettingsRecord want; // the defaults unless the file says otherwise
    bool keepCase = true;
};

} // namespace

class TstStore : public QObject {
    Q_OBJECT

private slots:
    void files_data() {
        QTest::addColumn<FileCase>("c");
        const auto row = [](const char* tag, const FileCase& c) { QTest::newRow(tag) << c; };
        const QString a1022(1022, 'a');
        const QByteArray line = a1022.toLatin1() + "\r\n", l = "L\r\n"; // 1024 lines: 1 MiB
        const QString badName = QStringLiteral("ファイル名が間違っています。");
        row("CR, CR LF end lines", {.bytes = "a\r\nb\nc\rd", .lines = {"a", "b\nc", "d"}});
        row("cp932", {.bytes = "\x97\x5c\x96\xf1\x5c\x7e\x81\x60\xb1", .lines = {"予約\\~～ｱ"}});
        row("1 MiB", {.bytes = line.repeated(1024), .lines = QStringList(1024, a1022)});
        row("1 MiB + 1", {.bytes = line.repeated(1024) + "b", .errNo = 7});
        row("1025 lines", {.bytes = l.repeated(1025), .lines = QStringList(1025, "L")});
        row("1026 lines", {.bytes = l.repeated(1026), .errNo = 9});
        row("bad pair", {.bytes = "ok\r\n\x82\x20y", .errNo = 5});
        row("r missing", {.read = "none", .errNo = 53, .text = "ファイル名が見つかりません。"});
        row("r no name", {.read = "", .errNo = 52, .text = badName});
        row("r NUL in name",
            {.read = QStringLiteral("in.txt") + QChar(0), .errNo = 52, .text = badName});
        row("r endless device", {.read = "/dev/zero", .errNo = 7}); // no size: counted as read
        row("r EIO",
            {.read = "/proc/self/mem", .errNo = 57, .text = "固定ディスク エラーが発生しました。"});
        row("w refused to root", {.write = "/sys/morvane-test.txt", .errNo = 70});
        row("w no dir",
            {.write = "nodir/x", .errNo = 76, .text = "指定されたパスが存在しません。"});
        row("w long name", {.write = QString(300, 'n'), .errNo = 64, .text = badName});
        row("w folder", {.write = "sub", .errNo = 75});
        row("w disk full", {.write = "/dev/full", .errNo = 61, .text = "ディスクがいっぱいです。"});
        row("w FIFO", {.write = "pipe", .errNo = 68, .text = "デバイスが準備されていません。"});
        row("w read-only, not renamed over", {.write = "plain", .errNo = 70});
        row("w not code page 932", {.write = "old", .lines = {"caf\u00e9"}, .errNo = 5});
        row("w too many lines", {.write = "new", .lines = QStringList(129, "b"), .errNo = 9});
    }
    void files() {
        QFETCH(FileCase, c);
        const QString name = c.write.isNull() ? c.read : c.write;
        if (name.startsWith('/') && !QFileInfo::exists(c.write.isNull() ? name : "/sys"))
            QSKIP("no such system file here");
        if (name == "plain" && ::geteuid() == 0)
            QSKIP("permission bits do not stop root");
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()) && QDir().mkdir("sub") && putFile("in.txt", c.bytes) &&
                putFile("old", "old\r\n") && putFile("plain", "x") &&
                QFile::setPermissions("plain", QFile::ReadOwner) && ::mkfifo("pipe", 0600) == 0);
        const QStringList before = entries(".");
        const mode_t mode = modeOf(name);
        Result r;
        QStringList w = QStringList{"a"} + c.lines; // more than it holds: cut off, still counted
        w.resize(kWriteLineArraySize);
        if (c.write.isNull())
            TextFileRead(name, r.data, r.count, r.errFG, r.errNo, r.show);
        else
            TextFileWrite(name, w, qint16(c.lines.size()), r.errFG, r.show);
        QCOMPARE(r.shown, c.errNo ? QStringList{c.text} : QStringList());
        QCOMPARE(r.errFG, qint16(!c.write.isNull() ? 7 : c.errNo ? 1 : 0)); // a write leaves it
        QCOMPARE(r.errNo, qint16(!c.write.isNull() || !c.errNo ? -7 : c.errNo)); // as does success
        // Nothing is stored from a file that cannot be read whole.
        QCOMPARE(c.errNo ? r.data : r.data.mid(0, r.count), c.errNo ? Result().data : c.lines);
        QCOMPARE(modeOf(name), mode); // devices and FIFOs are never replaced
        // Nothing replaced, nothing created, no temporary file left.
        QCOMPARE(entries("."), before);
        QCOMPARE(readAll("old"), QByteArray("old\r\n"));
    }

    // Through a relative link, which survives, onto a file whose mode is
    // kept; a dangling link names a new file, which gets the umask's mode.
    void backupFile() {
        QTemporaryDir dir;
        const QString data = dir.filePath("real/data"), later = dir.filePath("real/later");
        QVERIFY(QDir(dir.path()).mkdir("real") && putFile(data, "o") &&
                ::chmod(QFile::encodeName(data).constData(), 0640) == 0 &&
                QFile::link("real/data", dir.filePath("Morvane.DAT")) &&
                QFile::link("real/later", dir.filePath("dangling")));
        const mode_t mask = ::umask(022);
        ::umask(mask);
        Result r;
        const QStringList rows{QStringLiteral("予約0:日　"), "r2"};
        QVERIFY(writeBackupFile(dir.filePath("Morvane.DAT"), rows, r.show));
        const int in = ::dup(0); // as in a program started without standard input
        ::close(0);
        const bool written = writeBackupFile(dir.filePath("dangling"), {}, r.show);
        ::dup2(in, 0);
        ::close(in);
        QVERIFY(written);
        QCOMPARE(readAll(data), cp932Lines(rows) + QByteArray("\r\n").repeated(8));
        QCOMPARE(readAll(later), QByteArray("\r\n").repeated(10));
        QCOMPARE(modeOf(data), mode_t(S_IFREG | 0640));
        QCOMPARE(modeOf(later), mode_t(S_IFREG | (0666 & ~mask)));
        QVERIFY(S_ISLNK(modeOf(dir.filePath("Morvane.DAT"))) &&
                S_ISLNK(modeOf(dir.filePath("dangling"))));
        QCOMPARE(entries(dir.filePath("real")), (QStringList{"data", "later"}));
        QVERIFY(!writeBackupFile(dir.filePath("no/x.DAT"), {}, r.show));
        QVERIFY(putFile(data, "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\ni\r\nj\r\nk\r\n"));
        QStringList lines{"stale"};
        QVERIFY(readBackupFile(dir.filePath("Morvane.DAT"), lines, r.errNo, r.show));
        QCOMPARE(lines, (QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}));
        // Missing: told, but not kept as an error number.
        QVERIFY(!readBackupFile(dir.filePath("none.DAT"), lines, r.errNo, r.show));
        QCOMPARE(r.errNo, qint16(0));
        QCOMPARE(r.shown, (QStringList{QStringLiteral("指定されたパスが存在しません。"),
                                       QStringLiteral("ファイル名が見つかりません。")}));
    }

    // With a separator: StrCut's piece; without: StrCSV's two entries, first
    // "old", and the index of the last one stored. Both leave `rest` in Buff.
    void split_data() {
        columns<QString, QStringList, int, QString>({"sep", "pieces", "last", "rest"});
        row("a;;b", ";;", QStringList{"a"}, 0, ";b");
        row(",x", ",", QStringList{""}, 0, "x");
        row("ab", ",", QStringList{"ab"}, 0, "");
        row("abc", "", QStringList{"abc", "old"}, 0, "");
        row(",,", "", QStringList{"", ""}, 1, "");
        row("a,b,c,d,e", "", QStringList{"a", "b"}, 1, "e");
    }
    void split() {
        QFETCH(QString, sep);
        QString buff = QTest::currentDataTag();
        QStringList pieces(2, QStringLiteral("old"));
        qint16 last = 0;
        if (sep.isEmpty())
            StrCSV(buff, pieces, last);
        else
            pieces = QStringList{StrCut(buff, sep)};
        QTEST(pieces, "pieces");
        QTEST(int(last), "last");
        QTEST(buff, "rest");
    }

    void readSys_data() {
        QTest::addColumn<SysCase>("c");
        const auto row = [](const char* tag, const SysCase& c) { QTest::newRow(tag) << c; };
        row("no comma after value", {.bytes = "BITS,7,\r\nCOMPORT,3\r\n", .want = {.BITS = 7}});
        row("blanks anywhere, a sign first, no exponent",
            {.bytes = "COMPORT,\t- 3,\r\nBITS,1e3,\r\nSTOPS,2-1,\r\nComReTry,-32768.5,\r\n",
             .want = {.COMPORT = -3, .BITS = 1, .STOPS = 2, .ComReTry = -32768}});
        row("half to even, no number is 0, out of range kept",
            {.bytes = "BAUDRATE,4801.5,\r\nComTimeOut,6.5,\r\nSTOPS,abc,\r\nBITS,40000,\r\n"
                      "ComReTry,32767.5,\r\n",
             .want = {.BAUDRATE = 4802, .STOPS = 0, .ComTimeOut = 6}});
        row("key case, tab dropped, blank kept",
            {.bytes = "COM\tPORT,2,\r\nCOM PORT,4,\r\nparity,o,\r\n",
             .want = {.COMPORT = 2, .PARITY = "O"}});
        // "d:\Data\" then "データ" and half-width "ｱ" in code page 932.
        const QByteArray path = "BackUpFile,d:\\Data\\\x83\x66\x81\x5b\x83\x5e\xb1\t.dat,\r\n";
        row("path", {.bytes = path, .want = {.BackUpFile = "d:\\Data\\データｱ.dat"}});
        row("path folded",
            {.bytes = path, .want = {.BackUpFile = "D:\\DATA\\データｱ.DAT"}, .keepCase = false});
        row("last of the most lines read",
            {.bytes = QByteArray("\r\n").repeated(kReadLineArraySize - 1) + "BITS,7,",
             .want = {.BITS = 7}});
    }
    void readSys() {
        QFETCH(SysCase, c);
        QTemporaryDir dir;
        QVERIFY(putFile(dir.filePath("Morvane.SYS"), c.bytes));
        SysSettingsRecord s;
        Result r;
        ReadSys(dir.filePath("Morvane.SYS"), s, r.errNo, r.show, c.keepCase);
        QCOMPARE(s, c.want);
        QVERIFY(r.shown.isEmpty());
    }

    // A missing file is made with the defaults; a rewrite drops unknown lines.
    void settingsFile() {
        QTemporaryDir dir;
        SysSettingsRecord s{.COMPORT = 9}; // the defaults replace whatever was there
        QString sysFile;
        SetDefaultSys(dir.path(), s, sysFile);
        Result r;
        ReadSys(sysFile, s, r.errNo, r.show);
        QCOMPARE(r.shown, QStringList{QStringLiteral("ファイル名が見つかりません。")});
        QCOMPARE(r.errNo, qint16(0));
        QCOMPARE(s, SysSettingsRecord{.BackUpFile = dir.filePath("Morvane.DAT")});
        QCOMPARE(readAll(dir.filePath("Morvane.SYS")),
                 sysFileBytes("1", "2", "1", dir.filePath("Morvane.DAT").toUtf8()));
        QVERIFY(putFile(sysFile, "NOTE,1,\r\ncomport,-3,\r\nComTimeOut,32767,\r\n"
                                 "BackUpFile,/d/\x97\x5c\x96\xf1.DAT,\r\n"));
        ReadSys(sysFile, s, r.errNo, r.show);
        WriteSys(sysFile, s, r.show);
        QCOMPARE(readAll(sysFile), sysFileBytes("-3", "32767", "1", "/d/\x97\x5c\x96\xf1.DAT"));
    }

    void textUtilities() {
        // Every character from the blank up passes: paths keep their kana.
        QStringList data{QStringLiteral("d:\\ﾃﾞｰﾀ/é\t\x01x"), "keep"};
        ChrTrimArray(data, 0, QChar(' '), QChar(0xFFFF));
        QCOMPARE(data, (QStringList{QStringLiteral("D:\\ﾃﾞｰﾀ/ÉX"), "keep"}));
        QCOMPARE(ChrTrim("a b~c", QChar('a'), QChar('b')), QStringLiteral("ab"));
        QCOMPARE(trimBlanks("  a\tb \t "), QStringLiteral("a\tb \t"));
    }
};

QTEST_GUILESS_MAIN(TstStore)
#include "tst_store.moc"
