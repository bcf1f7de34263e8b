// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

namespace morvane {

// The program's error box: title "Error Message", warning icon, one OK button;
// returns when the user has closed it. `detail`, when given, is shown below
// the message in smaller type.
void MessageError(const QString& Buff, const QString& detail = QString());

// Tests install a recorder that receives the message and its detail instead
// of a box; an empty function restores the box.
using MessageRecorder = std::function<void(const QString& message, const QString& detail)>;
void setMessageErrorRecorder(MessageRecorder recorder);

} // namespace morvane
