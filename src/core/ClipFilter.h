// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClipItem.h"

#include <QString>
#include <vector>

namespace scrivlet {

// The entries whose text contains the query, in their order. Case and
// diacritics are ignored and canonically equivalent sequences are equal;
// nothing else is folded (full-width letters stay distinct), and no locale
// applies. A blank query keeps every entry.
[[nodiscard]] std::vector<ClipItemPtr> filterClips(
    const std::vector<ClipItemPtr> &items, const QString &query);

// The form both sides are compared in.
[[nodiscard]] QString foldForSearch(const QString &text);

} // namespace scrivlet
