// SPDX-License-Identifier: MIT
// What the window tells assistive technology and the pointer: every control's
// accessible name and description, the labels that belong to boxes, the
// tooltips, and the roles the toolkit does not guess.
#pragma once

#include "layout.h"

namespace morvane {

// Names, descriptions, tooltips and label links for the controls on `form`.
// The visible texts stay as they are.
void describeControls(QWidget* form);

// The window is a frame to a screen reader, not a filler, and a panel's frame
// offers its switch as an action. Installed once for the program, before the
// window is first shown; later calls do nothing.
void installAccessibleRoles();

} // namespace morvane
