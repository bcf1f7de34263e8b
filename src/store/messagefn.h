// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

namespace morvane {

// The program's one way of telling the user something: MainForm routes it to
// MessageError (a modal box); tests record the texts instead.
using MessageFn = std::function<void(const QString&)>;

} // namespace morvane
