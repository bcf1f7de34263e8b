// SPDX-License-Identifier: MIT
// morvane-cli speaks English. The store, link and device layers report
// through MessageFn with the window's fixed Japanese texts; this is the one
// table that turns each of them into an English line.
#pragma once

#include <QList>
#include <QString>

namespace morvane {

// What a file error number means.
struct FileErrorMeaning {
    int number = 0;
    QString english;
};

// Every file error number the program gives, with its meaning.
const QList<FileErrorMeaning>& fileErrorMeanings();

// The English line for a message of the shared layers: the exchange's
// messages and each file error's text (to follow "FILE: "). A text the table
// does not hold comes back as it is when it is ASCII, else marked as a
// message without an English text.
QString englishMessage(const QString& message);

} // namespace morvane
