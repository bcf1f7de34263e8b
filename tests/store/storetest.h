// Small file helpers shared by the store suites.
#pragma once

#include <QDir>
#include <QFile>
#include <QtTest>

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline void putBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Hidden names included, so a leftover temporary file shows.
inline QStringList entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The message shown for a file error without a text of its own.
inline QString numbered(int n) {
    return QStringLiteral("エラー番号%1が発生しました。").arg(n);
}
