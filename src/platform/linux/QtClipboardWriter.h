// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Pasteboard.h"

namespace scrivlet {

// Hands the data to Qt's clipboard, which serves it for as long as we own the
// selection: the X11 pasteboard's way of writing, and the fallback where no
// data-control protocol is offered.
void writeThroughQt(const Pasteboard::Representations &representations);

} // namespace scrivlet
