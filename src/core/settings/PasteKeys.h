// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace scrivlet {

class DefaultsStore;
class DesktopEntries;

// The keystroke that pastes in a given application. Terminals read Ctrl+V as
// a literal ^V, so they get Ctrl+Shift+V.
enum class PasteKey { ctrlV, ctrlShiftV, shiftInsert };

[[nodiscard]] std::optional<PasteKey> pasteKeyFromName(const QString &name);

// Chooses by, in order: the user's "pasteKeys" override for the application
// id, a desktop entry in the TerminalEmulator category, a known terminal's
// window class; Ctrl+V for everything else.
[[nodiscard]] PasteKey pasteKeyFor(const std::optional<QString> &applicationId,
    const QString &windowClass, DesktopEntries &entries, const DefaultsStore &defaults);

} // namespace scrivlet
