// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/settings/PasteKeys.h"

namespace scrivlet {

// Synthetic keystrokes to the application in front.
class KeySender
{
public:
    virtual ~KeySender() = default;
    // Whether keystrokes posted here reach other applications: the trust that
    // automatic paste needs. Asked afresh at every use.
    [[nodiscard]] virtual bool isTrusted() = 0;
    // The paste keystroke, on top of nothing else: modifiers the user still
    // holds that the keystroke does not want are released first. False when
    // nothing could be posted.
    [[nodiscard]] virtual bool sendPaste(PasteKey key) = 0;
};

} // namespace scrivlet
