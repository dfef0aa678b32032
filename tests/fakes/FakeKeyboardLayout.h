// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/KeyboardLayout.h"

#include <QHash>

namespace scrivlet::testing {

// An evdev keyboard: a key's scan code is set by the test, its character is
// the US one unless the test says otherwise.
class FakeKeyboardLayout : public KeyboardLayout
{
public:
    QHash<quint32, int> keys;
    QHash<int, QString> characters;

    std::optional<GlobalShortcuts::Key> keyAt(quint32 nativeScanCode) override
    {
        if (!keys.contains(nativeScanCode))
            return std::nullopt;
        return GlobalShortcuts::Key {keys.value(nativeScanCode)};
    }
    std::optional<QString> character(GlobalShortcuts::Key key) override
    {
        if (characters.contains(key.rawValue))
            return characters.value(key.rawValue);
        return key.usCharacter();
    }
};

} // namespace scrivlet::testing
