#include "backup.h"

#include "textfile.h"

namespace morvane {

namespace {
constexpr int BackupRows = 10;
}

void WriteBackupFile(const QString& BackUpFile, const QStringList& rows,
                     const MessageFn& MessageError) {
    QStringList wData(WriteLineArraySize);
    for (int r = 1; r <= BackupRows; ++r)
        wData[r - 1] = rows.value(r);
    qint16 ErrFG = 0;
    TextFileWrite(BackUpFile, wData, BackupRows - 1, ErrFG, MessageError);
}

bool ReadBackupFile(const QString& BackUpFile, QStringList& lines, qint16& FileErrNo,
                    const MessageFn& MessageError) {
    QStringList rData(ReadLineArraySize);
    qint16 LINECOUNT = 0;
    qint16 ErrFG = 0;
    TextFileRead(BackUpFile, rData, LINECOUNT, ErrFG, FileErrNo, MessageError);
    if (ErrFG == 1) {
        if (FileErrNo == FileErrNotFound)
            FileErrNo = 0;
        return false;
    }
    // Only ten reservation slots exist; further lines have nowhere to go.
    lines = rData.mid(0, qMin<int>(LINECOUNT, BackupRows));
    return true;
}

} // namespace morvane
