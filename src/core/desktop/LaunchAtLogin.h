// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace scrivlet {

// Starting with the desktop session, through an XDG autostart entry.
namespace LaunchAtLogin {

// $XDG_CONFIG_HOME/autostart/org.scrivlet.Scrivlet.desktop
[[nodiscard]] QString entryPath();
// On exactly when the entry exists and is not hidden.
[[nodiscard]] bool isEnabled(const QString &path = entryPath());
// Writes or removes the entry; a failure logs one line "LaunchAtLogin: …".
void set(bool enabled, const QString &executable, const QString &path = entryPath());

} // namespace LaunchAtLogin

} // namespace scrivlet
