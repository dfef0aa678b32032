// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/Key.h"

#include <QString>
#include <optional>

namespace scrivlet {

// The keyboard as it is now: which position a key event comes from, and what
// a position types in the current layout.
class KeyboardLayout
{
public:
    virtual ~KeyboardLayout() = default;

    // The key at a native scan code (an X keycode on X11); none for keys
    // outside the table.
    [[nodiscard]] virtual std::optional<GlobalShortcuts::Key> keyAt(quint32 nativeScanCode) = 0;
    // What the key types without modifiers ("z" for the US layout's y on a
    // German keyboard); none when it types nothing printable.
    [[nodiscard]] virtual std::optional<QString> character(GlobalShortcuts::Key key) = 0;
};

} // namespace scrivlet
