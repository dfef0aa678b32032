// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/history/ClipItem.h"

#include <QString>
#include <vector>

namespace scrivlet {

// The entries whose text contains the query, in their order. Case is fully
// folded ("strasse" finds "Straße"), the diacritics of letters are ignored and
// canonically equivalent sequences are equal; the other marks count (Indic
// vowel signs, kana voicing marks), a Hangul syllable is matched whole, nothing
// else is folded (full-width letters stay distinct), and no locale applies
// (the dotless ı is its own letter). A blank query keeps every entry.
[[nodiscard]] std::vector<ClipItemPtr> filterClips(
    const std::vector<ClipItemPtr> &items, const QString &query);

// The form both sides are compared in.
[[nodiscard]] QString foldForSearch(const QString &text);

} // namespace scrivlet
