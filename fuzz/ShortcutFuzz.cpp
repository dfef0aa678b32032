// SPDX-License-Identifier: GPL-3.0-or-later
// A stored shortcut is whatever the preferences file holds: decoding it must
// give a sound shortcut or none, never a crash.
#include "core/shortcuts/Shortcut.h"

#include <cstdint>
#include <cstdlib>

using namespace scrivlet::GlobalShortcuts;
using scrivlet::Language;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<Shortcut> shortcut = Shortcut::fromJson(json);
    if (!shortcut)
        return 0;
    if ((shortcut->carbonModifiers & ~Modifier::known) != 0 || shortcut->carbonKeyCode < 0
        || shortcut->carbonKeyCode > 1023)
        std::abort();
    // What is stored again reads back the same.
    if (Shortcut::fromJson(shortcut->toJson()) != shortcut)
        std::abort();
    for (Language language : {Language::french, Language::english}) {
        if (shortcut->displayText(language).isEmpty())
            std::abort();
    }
    (void)shortcut->key().xkbPosition();
    (void)shortcut->key().name();
    return 0;
}
