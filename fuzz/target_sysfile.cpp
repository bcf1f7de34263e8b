// SPDX-License-Identifier: MIT
#include "fuzzsupport.h"
#include "sysfile.h"
#include "textfile.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace morvane::fuzz {

namespace {

// Files live in memory where the system allows, so a run does not wear a disk.
const QString& workDir() {
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        auto d = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/morvane-fuzz-XXXXXX"));
        if (!d->isValid())
            d = std::make_unique<QTemporaryDir>();
        return d;
    }();
    static const QString path = dir->path();
    return path;
}

} // namespace

int fuzzSysFile(const uint8_t* data, size_t size) {
    const QString file = workDir() + QStringLiteral("/Morvane.SYS");
    const QString copy = workDir() + QStringLiteral("/Written.SYS");
    {
        QFile f(file);
        CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        CHECK(f.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }

    SysSettingsRecord defaults;
    defaults.BackUpFile = QStringLiteral("DEFAULT.DAT");
    QStringList messages;
    const MessageFn record = [&messages](const QString& m) { messages << m; };

    SysSettingsRecord kept = defaults;
    qint16 errKept = 0;
    ReadSys(file, kept, errKept, record, true);
    const qsizetype afterFirst = messages.size();
    SysSettingsRecord folded = defaults;
    qint16 errFolded = 0;
    ReadSys(file, folded, errFolded, record, false);

    CHECK(errKept == errFolded);
    CHECK(messages.size() == 2 * afterFirst);
    if (afterFirst > 0) {
        // A file the reader refuses changes nothing and says why once.
        CHECK(afterFirst == 1);
        CHECK(errKept == kFileErrBadText || errKept == kFileErrTooManyLines);
        CHECK(kept == defaults && folded == defaults);
        return 0;
    }
    CHECK(errKept == 0);
    CHECK(!hasControlOrComma(kept.PARITY) && !hasControlOrComma(kept.BackUpFile));
    CHECK(kept.PARITY == kept.PARITY.toUpper());
    // Folding the path's case is the only difference between the two modes.
    SysSettingsRecord upper = kept;
    upper.BackUpFile = kept.BackUpFile.toUpper();
    CHECK(folded == upper);

    // What was read is written back and read again unchanged.
    QFile::remove(copy);
    WriteSys(copy, kept, record);
    if (messages.isEmpty()) {
        SysSettingsRecord again;
        again.COMPORT = -99;
        again.PARITY = QStringLiteral("?");
        again.BackUpFile = QStringLiteral("?");
        qint16 err = 0;
        ReadSys(copy, again, err, record, true);
        CHECK(messages.isEmpty() && err == 0);
        CHECK(again == kept);
    }
    return 0;
}

} // namespace morvane::fuzz
