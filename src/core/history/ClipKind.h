// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace scrivlet {

enum class ClipKind { text, richText, image, file };

// The raw value a record stores.
[[nodiscard]] QString rawValue(ClipKind kind);
// Any string that is not one of the four raw values (letter case counts) is text.
[[nodiscard]] ClipKind clipKindFromRaw(const QString &raw);

} // namespace scrivlet
