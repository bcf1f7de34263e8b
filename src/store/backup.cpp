// SPDX-License-Identifier: MIT
#include "backup.h"

#include "textfile.h"

namespace morvane {

bool writeBackupFile(const QString& BackUpFile, const QStringList& lines,
                     const MessageFn& MessageError) {
    QStringList wData(kWriteLineArraySize);
    for (int i = 0; i < kBackupLines; ++i)
        wData[i] = lines.value(i);
    qint16 ErrFG = 1; // TextFileWrite clears it only when the whole file was written
    TextFileWrite(BackUpFile, wData, kBackupLines - 1, ErrFG, MessageError);
    return ErrFG == 0;
}

bool readBackupFile(const QString& BackUpFile, QStringList& lines, qint16& FileErrNo,
                    const MessageFn& MessageError) {
    QStringList rData(kReadLineArraySize);
    qint16 LINECOUNT = 0;
    qint16 ErrFG = 0;
    TextFileRead(BackUpFile, rData, LINECOUNT, ErrFG, FileErrNo, MessageError);
    if (ErrFG == 1) {
        if (FileErrNo == kFileErrNotFound)
            FileErrNo = 0;
        return false;
    }
    lines = rData.mid(0, qMin<int>(LINECOUNT, kBackupLines));
    return true;
}

} // namespace morvane
