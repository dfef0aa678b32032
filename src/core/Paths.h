// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"

#include <QString>

namespace scrivlet::paths {

inline constexpr char kApplicationId[] = "org.scrivlet.Scrivlet";

// $XDG_DATA_HOME/Scrivlet: the history and its images.
[[nodiscard]] QString dataFolder();
// $XDG_CONFIG_HOME/Scrivlet: preferences and, without a keyring, the key file.
[[nodiscard]] QString configFolder();

// Creates the folder (and missing parents) readable by the user alone, and
// tightens an existing one to 0700.
[[nodiscard]] Status ensurePrivateFolder(const QString &path);

} // namespace scrivlet::paths
