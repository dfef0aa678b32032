// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/history/ClipItem.h"

#include <QByteArray>
#include <vector>

namespace scrivlet::HistoryListing {

// An entry and its place in display order, from 1.
struct Entry
{
    int position = 0;
    ClipItemPtr item;
};

inline constexpr int kPreviewLength = 200;

// One line: the text with every run of white space (tabs and line breaks
// included) made one space, cut at kPreviewLength characters.
[[nodiscard]] QString preview(const ClipItem &item);

// "N<TAB>kind<TAB>*<TAB>preview", one entry a line, or ended by NUL for
// launchers that read NUL-separated entries.
[[nodiscard]] QByteArray lines(const std::vector<Entry> &entries, bool nullSeparated);

// One JSON array: position, id, kind, pinned, createdAt (ISO 8601, UTC),
// sourceApp, byteSize and the full text (null for images).
[[nodiscard]] QByteArray json(const std::vector<Entry> &entries);

} // namespace scrivlet::HistoryListing
