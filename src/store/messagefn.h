// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

namespace morvane {

// The program's one way of telling the user something from the layers that
// know no window: the window shows the text in its error box, the command
// line prints it, tests record it.
using MessageFn = std::function<void(const QString&)>;

} // namespace morvane
