// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace scrivlet {

// Synthetic keystrokes to the application in front.
class KeySender
{
public:
    virtual ~KeySender() = default;
    // Whether keystrokes posted here reach other applications: the trust that
    // automatic paste needs. Asked afresh at every use.
    [[nodiscard]] virtual bool isTrusted() = 0;
    // Ctrl+V; false when nothing could be posted.
    [[nodiscard]] virtual bool sendPaste() = 0;
};

} // namespace scrivlet
