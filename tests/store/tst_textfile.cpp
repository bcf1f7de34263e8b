// Whole-file text I/O, file error numbers and the backup file, checked against
// real file-system conditions.
#include "backup.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Names in a directory, hidden ones included: a leftover temporary file shows.
QStringList dirEntries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

struct ReadResult {
    QStringList data;
    qint16 count = -7;
    qint16 errFG = -7;
    qint16 errNo = -7;
    QStringList messages;
};

ReadResult readFile(const QString& path, int arraySize = ReadLineArraySize) {
    ReadResult r;
    r.data = QStringList(arraySize);
    TextFileRead(path, r.data, r.count, r.errFG, r.errNo,
                 [&r](const QString& m) { r.messages.append(m); });
    return r;
}

struct WriteResult {
    qint16 errFG = 7; // a value the write must leave alone on failure
    QStringList messages;
};

WriteResult writeFile(const QString& path, const QStringList& lines, qint16 lineCount) {
    WriteResult r;
    QStringList w(WriteLineArraySize);
    for (int i = 0; i < lines.size(); ++i)
        w[i] = lines.at(i);
    TextFileWrite(path, w, lineCount, r.errFG, [&r](const QString& m) { r.messages.append(m); });
    return r;
}

const QString NotFoundText = QStringLiteral("ファイル名が見つかりません。");
const QString PathNotFoundText = QStringLiteral("指定されたパスが存在しません。");
const QString BadNameText = QStringLiteral("ファイル名が間違っています。");

} // namespace

class TestTextFile : public QObject {
    Q_OBJECT

private slots:
    void errorTexts_data();
    void errorTexts();
    void zeroShowsNothing();

    void readLines_data();
    void readLines();
    void writeBytes_data();
    void writeBytes();

    void readErrors_data();
    void readErrors();
    void writeErrors_data();
    void writeErrors();
    void accessDeniedAsRoot();
    void accessDeniedAsUser();
    void ioErrorOnRead();
    void diskFullDevice();

    void badTextKeepsOldFile();
    void badBytesChangeNothing();
    void diskFullKeepsOldFile_fileSizeLimit();
    void diskFullKeepsOldFile_smallFileSystem();
    void permissionsKept();
    void writesThroughSymlink();
    void fifoWithoutReader();
    void sizeLimit();
    void lineLimit();

    void backupWrite();
    void backupRead();
    void backupMissing();
};

void TestTextFile::errorTexts_data() {
    QTest::addColumn<int>("errNo");
    QTest::addColumn<QString>("text");
    QTest::newRow("52") << 52 << BadNameText;
    QTest::newRow("53") << 53 << NotFoundText;
    QTest::newRow("54") << 54 << QStringLiteral("このモードではファイルを開けません。");
    QTest::newRow("55") << 55 << QStringLiteral("ファイルは既に開かれています。");
    QTest::newRow("57") << 57 << QStringLiteral("固定ディスク エラーが発生しました。");
    QTest::newRow("61") << 61 << QStringLiteral("ディスクがいっぱいです。");
    QTest::newRow("62") << 62 << QStringLiteral("ファイルの終端記号が見つかりません。");
    QTest::newRow("64") << 64 << BadNameText;
    QTest::newRow("68") << 68 << QStringLiteral("デバイスが準備されていません。");
    QTest::newRow("71") << 71 << QStringLiteral("ディスクをドライブに挿入してください。");
    QTest::newRow("76") << 76 << PathNotFoundText;
    QTest::newRow("5") << 5 << QStringLiteral("エラー番号5が発生しました。");
    QTest::newRow("7") << 7 << QStringLiteral("エラー番号7が発生しました。");
    QTest::newRow("9") << 9 << QStringLiteral("エラー番号9が発生しました。");
    QTest::newRow("70") << 70 << QStringLiteral("エラー番号70が発生しました。");
    QTest::newRow("75") << 75 << QStringLiteral("エラー番号75が発生しました。");
}

void TestTextFile::errorTexts() {
    QFETCH(int, errNo);
    QFETCH(QString, text);
    QCOMPARE(fileErrorText(errNo), text);
    QStringList shown;
    MessgFileErr(errNo, [&](const QString& m) { shown.append(m); });
    QCOMPARE(shown, QStringList{text});
}

void TestTextFile::zeroShowsNothing() {
    QStringList shown;
    MessgFileErr(0, [&](const QString& m) { shown.append(m); });
    QVERIFY(shown.isEmpty());
}

void TestTextFile::readLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("three lines") << QByteArray("a\r\nb\r\nc\r\n") << QStringList{"a", "b", "c"};
    QTest::newRow("no final line end") << QByteArray("a\r\nb\r\nc") << QStringList{"a", "b", "c"};
    QTest::newRow("two final line ends")
        << QByteArray("a\r\nb\r\nc\r\n\r\n") << QStringList{"a", "b", "c", ""};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("lone CR ends a line") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("lone LF is text") << QByteArray("a\nb\r\n") << QStringList{"a\nb"};
    QTest::newRow("LF first") << QByteArray("\na") << QStringList{"\na"};
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("code page 932")
        << QByteArray("\x97\x5c\x96\xf1\x31\x3a\x93\xfa\x81\x40\r\n\xb1\x5c\x7e\x81\x60\x81\x7c")
        << QStringList{QStringLiteral("予約1:日　"), QStringLiteral("ｱ\\~～－")};
}

void TestTextFile::readLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    const QString path = dir.filePath("in.txt");
    putBytes(path, bytes);
    const ReadResult r = readFile(path);
    QCOMPARE(r.errFG, qint16(0));
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(r.errNo, qint16(-7)); // success leaves FileErrNo alone
    QCOMPARE(r.count, qint16(lines.size()));
    QCOMPARE(r.data.mid(0, r.count), lines);
    QVERIFY(r.data.at(r.count).isEmpty());
}

void TestTextFile::writeBytes_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("nine lines, last empty")
        << QStringList{"1", "2", "3", "4", "5", "6", "7", "8"} << 8
        << QByteArray("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n\r\n");
    QTest::newRow("LINECOUNT -1 empties the file") << QStringList{"x"} << -1 << QByteArray();
    QTest::newRow("one empty line") << QStringList{} << 0 << QByteArray("\r\n");
    QTest::newRow("code page 932")
        << QStringList{QStringLiteral("予約1:日　"), QStringLiteral("ｱ\\~～－")} << 1
        << QByteArray(
               "\x97\x5c\x96\xf1\x31\x3a\x93\xfa\x81\x40\r\n\xb1\x5c\x7e\x81\x60\x81\x7c\r\n");
}

void TestTextFile::writeBytes() {
    QFETCH(QStringList, lines);
    QFETCH(int, lineCount);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    putBytes(path, "old contents that are longer than the new ones\r\n");
    const WriteResult r = writeFile(path, lines, qint16(lineCount));
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(r.errFG, qint16(0));
    QCOMPARE(fileBytes(path), bytes);
    QCOMPARE(dirEntries(dir.path()), QStringList{"out.txt"});
}

void TestTextFile::readErrors_data() {
    QTest::addColumn<QString>("name"); // relative to a fresh directory; "" stays empty
    QTest::addColumn<int>("errNo");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing file") << "nothere.txt" << 53 << NotFoundText;
    QTest::newRow("missing directory") << "nodir/x.txt" << 76 << PathNotFoundText;
    QTest::newRow("file used as a directory") << "plain/x.txt" << 76 << PathNotFoundText;
    QTest::newRow("empty name") << "" << 52 << BadNameText;
    QTest::newRow("name too long") << QString(300, 'n') << 64 << BadNameText;
    QTest::newRow("directory") << "sub" << 75 << QStringLiteral("エラー番号75が発生しました。");
}

void TestTextFile::readErrors() {
    QFETCH(QString, name);
    QFETCH(int, errNo);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    putBytes(dir.filePath("plain"), "x");
    ReadResult r = readFile(name.isEmpty() ? QString() : dir.filePath(name));
    QCOMPARE(r.errFG, qint16(1));
    QCOMPARE(r.errNo, qint16(errNo));
    QCOMPARE(r.messages, QStringList{text});
}

void TestTextFile::writeErrors_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing directory") << "nodir/x.txt" << PathNotFoundText;
    QTest::newRow("empty name") << "" << BadNameText;
    QTest::newRow("name too long") << QString(300, 'n') << BadNameText;
    QTest::newRow("directory") << "sub" << QStringLiteral("エラー番号75が発生しました。");
}

void TestTextFile::writeErrors() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    const WriteResult r = writeFile(name.isEmpty() ? QString() : dir.filePath(name), {"a"}, 0);
    QCOMPARE(r.errFG, qint16(7));
    QCOMPARE(r.messages, QStringList{text});
    QCOMPARE(dirEntries(dir.path()), QStringList{"sub"});
    QVERIFY(dirEntries(dir.filePath("sub")).isEmpty());
}

// Root passes every permission bit, so these use sysfs, which refuses even
// root: reading a write-only attribute and creating a file at its top.
void TestTextFile::accessDeniedAsRoot() {
    const QString denied = QStringLiteral("エラー番号70が発生しました。");
    const QString writeOnly = QStringLiteral("/sys/bus/pci/rescan");
    if (!QFileInfo::exists(writeOnly))
        QSKIP("no sysfs write-only attribute here");
    const ReadResult r = readFile(writeOnly);
    QCOMPARE(r.errFG, qint16(1));
    QCOMPARE(r.errNo, qint16(70));
    QCOMPARE(r.messages, QStringList{denied});

    const WriteResult w = writeFile(QStringLiteral("/sys/morvane-store-test.txt"), {"a"}, 0);
    QCOMPARE(w.errFG, qint16(7));
    QCOMPARE(w.messages, QStringList{denied});
    QVERIFY(!QFileInfo::exists("/sys/morvane-store-test.txt"));
}

void TestTextFile::accessDeniedAsUser() {
    if (::geteuid() == 0)
        QSKIP("permission bits do not stop root");
    const QString denied = QStringLiteral("エラー番号70が発生しました。");
    QTemporaryDir dir;
    const QString locked = dir.filePath("locked.txt");
    putBytes(locked, "old\r\n");
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0444) == 0);
    WriteResult w = writeFile(locked, {"new"}, 0);
    QCOMPARE(w.messages, QStringList{denied});
    QCOMPARE(fileBytes(locked), QByteArray("old\r\n"));

    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0) == 0);
    const ReadResult r = readFile(locked);
    QCOMPARE(r.errNo, qint16(70));
    QCOMPARE(r.messages, QStringList{denied});

    QVERIFY(QDir(dir.path()).mkdir("ro"));
    QVERIFY(::chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0555) == 0);
    w = writeFile(dir.filePath("ro/x.txt"), {"a"}, 0);
    QCOMPARE(w.messages, QStringList{denied});
    QVERIFY(dirEntries(dir.filePath("ro")).isEmpty());
}

// Reading one's own memory file from offset 0 fails with EIO.
void TestTextFile::ioErrorOnRead() {
    if (!QFileInfo::exists("/proc/self/mem"))
        QSKIP("no /proc");
    const ReadResult r = readFile(QStringLiteral("/proc/self/mem"));
    QCOMPARE(r.errFG, qint16(1));
    QCOMPARE(r.errNo, qint16(57));
    QCOMPARE(r.messages, QStringList{QStringLiteral("固定ディスク エラーが発生しました。")});
}

void TestTextFile::diskFullDevice() {
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("no /dev/full");
    const WriteResult w = writeFile(QStringLiteral("/dev/full"), {"a"}, 0);
    QCOMPARE(w.errFG, qint16(7));
    QCOMPARE(w.messages, QStringList{QStringLiteral("ディスクがいっぱいです。")});
    struct stat st;
    QVERIFY(::stat("/dev/full", &st) == 0);
    QVERIFY(S_ISCHR(st.st_mode)); // written in place, never renamed over
}

void TestTextFile::badTextKeepsOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.txt");
    putBytes(path, "old\r\n");
    const WriteResult w =
        writeFile(path, {"fine", QStringLiteral("C:\\caf\u00e9\\Morvane.DAT"), "more"}, 2);
    QCOMPARE(w.errFG, qint16(7));
    QCOMPARE(w.messages, QStringList{QStringLiteral("エラー番号5が発生しました。")});
    QCOMPARE(fileBytes(path), QByteArray("old\r\n"));
    QCOMPARE(dirEntries(dir.path()), QStringList{"keep.txt"});

    // A new file is not created either.
    const WriteResult n = writeFile(dir.filePath("new.txt"), {QStringLiteral("\U0001F600")}, 0);
    QCOMPARE(n.messages.size(), 1);
    QCOMPARE(dirEntries(dir.path()), QStringList{"keep.txt"});
}

void TestTextFile::badBytesChangeNothing() {
    QTemporaryDir dir;
    const QList<QByteArray> cases = {QByteArray("ok\r\n\x82\x20y\r\n"), QByteArray("ok\r\n\x82")};
    for (const QByteArray& bytes : cases) {
        const QString path = dir.filePath("bad.txt");
        putBytes(path, bytes);
        ReadResult r;
        r.data = QStringList(ReadLineArraySize, QStringLiteral("untouched"));
        TextFileRead(path, r.data, r.count, r.errFG, r.errNo,
                     [&r](const QString& m) { r.messages.append(m); });
        QCOMPARE(r.errFG, qint16(1));
        QCOMPARE(r.errNo, qint16(5));
        QCOMPARE(r.messages, QStringList{QStringLiteral("エラー番号5が発生しました。")});
        QCOMPARE(r.data, QStringList(ReadLineArraySize, QStringLiteral("untouched")));
        QCOMPARE(fileBytes(path), bytes);
    }
}

// A file size limit makes the write fail half-way with EFBIG, which any user
// can arrange: the old file must survive and the temporary file go.
void TestTextFile::diskFullKeepsOldFile_fileSizeLimit() {
    QTemporaryDir dir;
    const QString path = dir.filePath("big.txt");
    putBytes(path, "old\r\n");
    rlimit old;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const WriteResult w = writeFile(path, {QString(10000, 'x')}, 0);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(w.errFG, qint16(7));
    QCOMPARE(w.messages, QStringList{QStringLiteral("ディスクがいっぱいです。")});
    QCOMPARE(fileBytes(path), QByteArray("old\r\n"));
    QCOMPARE(dirEntries(dir.path()), QStringList{"big.txt"});
}

// A real ENOSPC on a tiny file system; mounting it needs root.
void TestTextFile::diskFullKeepsOldFile_smallFileSystem() {
    QTemporaryDir dir;
    const QByteArray mnt = QFile::encodeName(dir.path());
    if (::geteuid() != 0 || ::mount("tmpfs", mnt.constData(), "tmpfs", 0, "size=16k") != 0)
        QSKIP("cannot mount a small file system here");
    auto cleanup = qScopeGuard([&] { ::umount2(mnt.constData(), MNT_DETACH); });
    const QString path = dir.filePath("full.txt");
    putBytes(path, "old\r\n");
    const WriteResult w = writeFile(path, {QString(100000, 'x')}, 0);
    QCOMPARE(w.errFG, qint16(7));
    QCOMPARE(w.messages, QStringList{QStringLiteral("ディスクがいっぱいです。")});
    QCOMPARE(fileBytes(path), QByteArray("old\r\n"));
    QCOMPARE(dirEntries(dir.path()), QStringList{"full.txt"});
}

void TestTextFile::permissionsKept() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mode.txt");
    const QByteArray p = QFile::encodeName(path);
    putBytes(path, "old\r\n");
    QVERIFY(::chmod(p.constData(), 0640) == 0);
    QCOMPARE(writeFile(path, {"new"}, 0).errFG, qint16(0));
    struct stat st;
    QVERIFY(::stat(p.constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    QCOMPARE(fileBytes(path), QByteArray("new\r\n"));

    // A new file gets the usual mode under the umask, not a private one.
    const mode_t mask = ::umask(022);
    QCOMPARE(writeFile(dir.filePath("fresh.txt"), {"a"}, 0).errFG, qint16(0));
    ::umask(mask);
    QVERIFY(::stat(QFile::encodeName(dir.filePath("fresh.txt")).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0644));
}

void TestTextFile::writesThroughSymlink() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("real"));
    const QString target = dir.filePath("real/data.txt");
    const QString link = dir.filePath("link.txt");
    putBytes(target, "old\r\n");
    QVERIFY(QFile::link("real/data.txt", link)); // relative link
    const WriteResult w = writeFile(link, {"new"}, 0);
    QVERIFY(w.messages.isEmpty());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    QCOMPARE(fileBytes(target), QByteArray("new\r\n"));
    QCOMPARE(dirEntries(dir.filePath("real")), QStringList{"data.txt"});

    // A dangling link names the file to create.
    QVERIFY(QFile::link("real/later.txt", dir.filePath("dangling.txt")));
    QCOMPARE(writeFile(dir.filePath("dangling.txt"), {"x"}, 0).errFG, qint16(0));
    QVERIFY(QFileInfo(dir.filePath("dangling.txt")).isSymLink());
    QCOMPARE(fileBytes(dir.filePath("real/later.txt")), QByteArray("x\r\n"));
}

// Nobody reads the FIFO: the write fails at once instead of hanging, and the
// FIFO is not replaced by a regular file.
void TestTextFile::fifoWithoutReader() {
    QTemporaryDir dir;
    const QString path = dir.filePath("pipe");
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    const WriteResult w = writeFile(path, {"a"}, 0);
    QCOMPARE(w.errFG, qint16(7));
    QCOMPARE(w.messages, QStringList{QStringLiteral("デバイスが準備されていません。")});
    struct stat st;
    QVERIFY(::lstat(QFile::encodeName(path).constData(), &st) == 0);
    QVERIFY(S_ISFIFO(st.st_mode));
    QCOMPARE(dirEntries(dir.path()), QStringList{"pipe"});
}

void TestTextFile::sizeLimit() {
    QTemporaryDir dir;
    const QString path = dir.filePath("size.txt");
    // 1024 lines of 1022 characters and CR LF: exactly 1 MiB.
    const QByteArray line = QByteArray(1022, 'a') + "\r\n";
    putBytes(path, line.repeated(1024));
    QCOMPARE(QFileInfo(path).size(), qint64(1048576));
    ReadResult r = readFile(path);
    QCOMPARE(r.errFG, qint16(0));
    QCOMPARE(r.count, qint16(1024));
    QCOMPARE(r.data.at(1023), QString(1022, 'a'));

    putBytes(path, line.repeated(1024) + "b");
    r = readFile(path);
    QCOMPARE(r.errFG, qint16(1));
    QCOMPARE(r.errNo, qint16(7));
    QCOMPARE(r.messages, QStringList{QStringLiteral("エラー番号7が発生しました。")});
    QVERIFY(r.data.at(0).isEmpty());
}

void TestTextFile::lineLimit() {
    QTemporaryDir dir;
    const QString path = dir.filePath("lines.txt");
    putBytes(path, QByteArray("L\r\n").repeated(1025));
    ReadResult r = readFile(path);
    QCOMPARE(r.errFG, qint16(0));
    QCOMPARE(r.count, qint16(1025));
    QCOMPARE(r.data.at(1024), QStringLiteral("L"));

    putBytes(path, QByteArray("L\r\n").repeated(1025) + "last");
    r = readFile(path);
    QCOMPARE(r.errFG, qint16(1));
    QCOMPARE(r.errNo, qint16(9));
    QCOMPARE(r.messages, QStringList{QStringLiteral("エラー番号9が発生しました。")});
    QVERIFY(r.data.at(0).isEmpty());

    // Writing past the caller's array is refused the same way.
    const WriteResult w = writeFile(dir.filePath("w.txt"), {"a"}, WriteLineArraySize);
    QCOMPARE(w.messages, QStringList{QStringLiteral("エラー番号9が発生しました。")});
    QVERIFY(!QFileInfo::exists(dir.filePath("w.txt")));
}

void TestTextFile::backupWrite() {
    QTemporaryDir dir;
    const QString path = dir.filePath("Morvane.DAT");
    QStringList shown;
    const auto show = [&](const QString& m) { shown.append(m); };

    WriteBackupFile(path, {"clock", QStringLiteral("予約0:日　"), "r1", "r2"}, show);
    QCOMPARE(fileBytes(path), QByteArray("\x97\x5c\x96\xf1\x30\x3a\x93\xfa\x81\x40\r\n"
                                         "r1\r\nr2\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"));

    WriteBackupFile(path, {"clock only"}, show);
    QCOMPARE(fileBytes(path), QByteArray("\r\n").repeated(10));

    QStringList many{"clock"};
    for (int i = 1; i <= 12; ++i)
        many.append(QStringLiteral("row%1").arg(i));
    WriteBackupFile(path, many, show);
    QCOMPARE(fileBytes(path), QByteArray("row1\r\nrow2\r\nrow3\r\nrow4\r\nrow5\r\nrow6\r\n"
                                         "row7\r\nrow8\r\nrow9\r\nrow10\r\n"));
    QVERIFY(shown.isEmpty());

    WriteBackupFile(dir.filePath("nodir/Morvane.DAT"), many, show);
    QCOMPARE(shown, QStringList{PathNotFoundText});
}

void TestTextFile::backupRead() {
    QTemporaryDir dir;
    const QString path = dir.filePath("Morvane.DAT");
    QStringList shown;
    const auto show = [&](const QString& m) { shown.append(m); };
    qint16 errNo = -7;

    putBytes(path, QByteArray("a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\ni\r\nj\r\nk\r\nl\r\n"));
    QStringList lines{"stale"};
    QVERIFY(ReadBackupFile(path, lines, errNo, show));
    QCOMPARE(lines, (QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}));

    putBytes(path, QByteArray());
    QVERIFY(ReadBackupFile(path, lines, errNo, show));
    QVERIFY(lines.isEmpty());

    putBytes(path, QByteArray("\x82\x20"));
    lines = QStringList{"kept"};
    QVERIFY(!ReadBackupFile(path, lines, errNo, show));
    QCOMPARE(errNo, qint16(5));
    QCOMPARE(lines, QStringList{"kept"});
    QCOMPARE(shown, QStringList{QStringLiteral("エラー番号5が発生しました。")});
}

void TestTextFile::backupMissing() {
    QTemporaryDir dir;
    QStringList shown;
    qint16 errNo = -7;
    QStringList lines{"kept"};
    QVERIFY(!ReadBackupFile(dir.filePath("none.DAT"), lines, errNo,
                            [&](const QString& m) { shown.append(m); }));
    QCOMPARE(errNo, qint16(0));
    QCOMPARE(lines, QStringList{"kept"});
    QCOMPARE(shown, QStringList{NotFoundText});
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
