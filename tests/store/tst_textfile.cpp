// Whole-file text I/O, file error numbers and the backup file, checked against
// real file-system conditions.
#include "backup.h"
#include "storetest.h"
#include "textfile.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace morvane;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

struct Result {
    QStringList data = QStringList(ReadLineArraySize, QStringLiteral("untouched"));
    qint16 count = -7, errFG = 7, errNo = -7; // what a failed call must leave alone
    QStringList shown;
    MessageFn show() {
        return [this](const QString& m) { shown.append(m); };
    }
};

Result readText(const QString& path) {
    Result r;
    TextFileRead(path, r.data, r.count, r.errFG, r.errNo, r.show());
    return r;
}

Result writeText(const QString& path, const QStringList& lines, int lineCount) {
    Result r;
    QStringList w(WriteLineArraySize);
    for (int i = 0; i < lines.size(); ++i)
        w[i] = lines.at(i);
    TextFileWrite(path, w, qint16(lineCount), r.errFG, r.show());
    return r;
}

} // namespace

class TestTextFile : public QObject {
    Q_OBJECT

private slots:
    void read_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("errNo"); // 0: read fine into `lines`
        QTest::addColumn<QStringList>("lines");
        const auto row = [](const char* tag, const QByteArray& bytes, int errNo,
                            const QStringList& lines = {}) {
            QTest::newRow(tag) << bytes << errNo << lines;
        };
        const QByteArray line1022 = QByteArray(1022, 'a') + "\r\n"; // 1024 of them: 1 MiB
        row("CR LF", "a\r\nb\r\n", 0, {"a", "b"});
        row("last line unended", "a\r\nb", 0, {"a", "b"});
        row("trailing empty line", "a\r\n\r\n", 0, {"a", ""});
        row("lone LF is text", "a\nb\r\n", 0, {"a\nb"});
        row("lone CR ends a line", "a\rb\r", 0, {"a", "b"});
        row("empty file", "", 0);
        row("code page 932",
            "\x97\x5c\x96\xf1\x31\x3a\x93\xfa\x81\x40\r\n\xb1\x5c\x7e\x81\x60\x81\x7c", 0,
            {QStringLiteral("予約1:日　"), QStringLiteral("ｱ\\~～－")});
        row("1 MiB", line1022.repeated(1024), 0, QStringList(1024, QString(1022, 'a')));
        row("1 MiB + 1", line1022.repeated(1024) + "b", 7);
        row("1025 lines", QByteArray("L\r\n").repeated(1025), 0, QStringList(1025, "L"));
        row("1026 lines", QByteArray("L\r\n").repeated(1025) + "L", 9);
        row("bad pair", "ok\r\n\x82\x20y\r\n", 5);
        row("lead byte cut off", "ok\r\n\x82", 5);
    }

    void read() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, errNo);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath("in.txt");
        putBytes(path, bytes);
        const Result r = readText(path);
        if (errNo != 0) {
            QCOMPARE(r.errFG, qint16(1));
            QCOMPARE(r.errNo, qint16(errNo));
            QCOMPARE(r.shown, QStringList{numbered(errNo)});
            QCOMPARE(r.data, QStringList(ReadLineArraySize, QStringLiteral("untouched")));
            return;
        }
        QCOMPARE(r.errFG, qint16(0));
        QCOMPARE(r.errNo, qint16(-7)); // success leaves FileErrNo alone
        QVERIFY(r.shown.isEmpty());
        QCOMPARE(r.count, qint16(lines.size()));
        QCOMPARE(r.data.mid(0, r.count), lines);
    }

    // Each in a directory holding "sub/", a read-only "plain", "pipe" and "old".
    // Writes put "a" and `line`; a line over 4 KiB meets a 4 KiB file size limit.
    void errors_data() {
        QTest::addColumn<bool>("writing");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("errNo");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* tag, bool writing, const QString& name, int errNo,
                            const QString& text, const QString& line = "b") {
            QTest::newRow(tag) << writing << name << line << errNo << text;
        };
        const QString notFound = QStringLiteral("ファイル名が見つかりません。");
        const QString noPath = QStringLiteral("指定されたパスが存在しません。");
        const QString badName = QStringLiteral("ファイル名が間違っています。");
        const QString full = QStringLiteral("ディスクがいっぱいです。");
        const QString longName(300, 'n');
        row("r missing file", false, "none.txt", 53, notFound);
        row("r missing dir", false, "nodir/x.txt", 76, noPath);
        row("r file as dir", false, "plain/x.txt", 76, noPath);
        row("r empty name", false, "", 52, badName);
        row("r long name", false, longName, 64, badName);
        row("r directory", false, "sub", 75, numbered(75));
        row("r I/O error", false, "/proc/self/mem", 57, "固定ディスク エラーが発生しました。");
        // sysfs refuses even root: a write-only attribute, a new file at its top.
        row("r denied", false, "/sys/bus/pci/rescan", 70, numbered(70));
        row("w denied", true, "/sys/morvane-test.txt", 70, numbered(70));
        row("w missing dir", true, "nodir/x.txt", 76, noPath);
        row("w empty name", true, "", 52, badName);
        row("w long name", true, longName, 64, badName);
        row("w directory", true, "sub", 75, numbered(75));
        row("w disk full", true, "/dev/full", 61, full);
        row("w FIFO, no reader", true, "pipe", 68, "デバイスが準備されていません。");
        // A rename would replace it; the file's own mode must be obeyed.
        row("w read-only file", true, "plain", 70, numbered(70));
        row("w unencodable", true, "old", 5, numbered(5), "C:\\caf\u00e9");
        row("w unencodable, new file", true, "new.txt", 5, numbered(5), "\U0001F600");
        row("w past the array", true, "old", 9, numbered(9));
        row("w file size limit", true, "old", 61, full, QString(5000, 'x'));
    }
    void errors() {
        QFETCH(bool, writing);
        QFETCH(QString, name);
        QFETCH(QString, line);
        QFETCH(int, errNo);
        QFETCH(QString, text);
        // System files stand for conditions a temporary directory cannot make.
        if (name.startsWith('/') &&
            !QFileInfo::exists(errNo == 70 && writing ? "/sys/kernel" : name))
            QSKIP("no such system file here");
        if (name == "plain" && ::geteuid() == 0)
            QSKIP("permission bits do not stop root");
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        putBytes(dir.filePath("plain"), "x");
        putBytes(dir.filePath("old"), "old\r\n");
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("plain")).constData(), 0444) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600) == 0);
        const QStringList before = entries(dir.path());
        const QString path = name.isEmpty() || name.startsWith('/') ? name : dir.filePath(name);
        const mode_t mode = modeOf(path);
        rlimit old;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = line.size() > 4096 ? 4096 : old.rlim_cur;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const int lineCount = errNo == 9 ? WriteLineArraySize : 1;
        const Result r = writing ? writeText(path, {"a", line}, lineCount) : readText(path);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(r.shown, QStringList{text});
        if (writing) {
            QCOMPARE(r.errFG, qint16(7)); // left as passed
            QCOMPARE(modeOf(path), mode); // devices and FIFOs are never replaced
        } else {
            QCOMPARE(r.errFG, qint16(1));
            QCOMPARE(r.errNo, qint16(errNo));
        }
        // Nothing replaced, nothing created, no temporary left.
        QCOMPARE(entries(dir.path()), before);
        QVERIFY(entries(dir.filePath("sub")).isEmpty());
        QCOMPARE(fileBytes(dir.filePath("plain")), QByteArray("x"));
        QCOMPARE(fileBytes(dir.filePath("old")), QByteArray("old\r\n"));
    }

    void modesAndLinks() {
        QTemporaryDir dir;
        const QString path = dir.filePath("mode.txt");
        putBytes(path, "old\r\n");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        const mode_t mask = ::umask(022);
        const Result r = writeText(path, {"new"}, 0);
        const Result f = writeText(dir.filePath("fresh.txt"), {"a"}, 0);
        ::umask(mask);
        QVERIFY(r.shown.isEmpty() && f.shown.isEmpty());
        QCOMPARE(modeOf(path), mode_t(S_IFREG | 0640));                      // kept on replace
        QCOMPARE(modeOf(dir.filePath("fresh.txt")), mode_t(S_IFREG | 0644)); // umask's, not private

        // Through a relative link, the link survives; a dangling one names the file.
        QVERIFY(QDir(dir.path()).mkdir("real"));
        putBytes(dir.filePath("real/data.txt"), "old\r\n");
        QVERIFY(QFile::link("real/data.txt", dir.filePath("link.txt")));
        QVERIFY(QFile::link("real/later.txt", dir.filePath("dangling.txt")));
        QVERIFY(writeText(dir.filePath("link.txt"), {"new"}, 0).shown.isEmpty());
        QVERIFY(writeText(dir.filePath("dangling.txt"), {"x"}, 0).shown.isEmpty());
        QVERIFY(S_ISLNK(modeOf(dir.filePath("link.txt"))));
        QVERIFY(S_ISLNK(modeOf(dir.filePath("dangling.txt"))));
        QCOMPARE(fileBytes(dir.filePath("real/data.txt")), QByteArray("new\r\n"));
        QCOMPARE(fileBytes(dir.filePath("real/later.txt")), QByteArray("x\r\n"));
        QCOMPARE(entries(dir.filePath("real")), (QStringList{"data.txt", "later.txt"}));
    }

    void backup() {
        QTemporaryDir dir;
        const QString path = dir.filePath("Morvane.DAT");
        Result r;
        // Row 0 is the clock; rows 3..10 missing become empty lines.
        WriteBackupFile(path, {"clock", QStringLiteral("予約0:日　"), "r2"}, r.show());
        QCOMPARE(fileBytes(path), QByteArray("\x97\x5c\x96\xf1\x30\x3a\x93\xfa\x81\x40\r\n"
                                             "r2\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"));
        QStringList many{"clock"};
        for (int i = 1; i <= 12; ++i)
            many.append(QString::number(i));
        WriteBackupFile(path, many, r.show());
        QCOMPARE(fileBytes(path),
                 QByteArray("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n"));
        QCOMPARE(entries(dir.path()), QStringList{"Morvane.DAT"}); // no temporary left

        putBytes(path, "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\ni\r\nj\r\nk\r\nl\r\n");
        QStringList lines{"stale"};
        QVERIFY(ReadBackupFile(path, lines, r.errNo, r.show()));
        QCOMPARE(lines, (QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}));
        QVERIFY(r.shown.isEmpty());

        // Missing: told, but not an error the caller keeps.
        QVERIFY(!ReadBackupFile(dir.filePath("none.DAT"), lines, r.errNo, r.show()));
        QCOMPARE(r.errNo, qint16(0));
        QCOMPARE(lines.size(), 10);
        QCOMPARE(r.shown, QStringList{QStringLiteral("ファイル名が見つかりません。")});
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
