// SPDX-License-Identifier: MIT
#include "fuzzsupport.h"
#include "textfile.h"

namespace morvane::fuzz {

int fuzzTextFile(const uint8_t* data, size_t size) {
    Input in(data, size);
    const uint8_t sizeByte = in.u8();
    const qsizetype arraySize = sizeByte < 200 ? sizeByte % 40 : kReadLineArraySize;
    const QByteArray bytes = in.rest();

    QStringList rData(arraySize);
    for (qsizetype i = 0; i < arraySize; ++i)
        rData[i] = QStringLiteral("old %1").arg(i);
    const QStringList before = rData;
    qint16 LINECOUNT = -1;
    const int err = textFileDecode(bytes, rData, LINECOUNT);

    CHECK(rData.size() == arraySize);
    if (err != kFileErrNone) {
        CHECK(err == kFileErrBadText || err == kFileErrTooManyLines);
        CHECK(LINECOUNT == 0);
        CHECK(rData == before);
        return 0;
    }
    CHECK(LINECOUNT >= 0 && LINECOUNT <= arraySize);
    // CR is never a trail byte, so each CR byte ends exactly one line.
    const qsizetype crs = bytes.count('\r');
    CHECK(LINECOUNT == crs || LINECOUNT == crs + 1);
    qsizetype chars = 0;
    for (qsizetype i = 0; i < LINECOUNT; ++i) {
        CHECK(!rData.at(i).contains(u'\r'));
        chars += rData.at(i).size();
    }
    CHECK(chars <= bytes.size());
    for (qsizetype i = LINECOUNT; i < arraySize; ++i)
        CHECK(rData.at(i) == before.at(i));

    // What was read can be written back and reads the same.
    QString text;
    for (qsizetype i = 0; i < LINECOUNT; ++i)
        text += rData.at(i) + QLatin1String("\r\n");
    QByteArray back;
    CHECK(encodeCp932(text, back));
    QStringList again(arraySize);
    qint16 againCount = -1;
    CHECK(textFileDecode(back, again, againCount) == kFileErrNone);
    CHECK(againCount == LINECOUNT);
    for (qsizetype i = 0; i < LINECOUNT; ++i)
        CHECK(again.at(i) == rData.at(i));
    return 0;
}

} // namespace morvane::fuzz
