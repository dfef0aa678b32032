// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PasteboardReading.h"

#include <QStringList>
#include <QtGlobal>

namespace scrivlet {

// How long and how much a clipboard read may take.
struct ClipboardLimits
{
    // For each answer of the owner (and each chunk of a large transfer).
    int deadlineMs = 1000;
    qint64 maxImageBytes = 64LL * 1024 * 1024;
    qint64 maxOtherBytes = 16LL * 1024 * 1024;
    // Targets looked at; an owner may offer thousands.
    int maxTargets = 1024;
};

// The types capture reads from another application's copy: the markers and
// the hint, then the contents it may keep. Only these are fetched.
[[nodiscard]] inline QStringList capturedTypes()
{
    QStringList wanted = mime::kMarkers;
    wanted << mime::kPasswordManagerHint << mime::kUriList << mime::kPng << mime::kTiff
           << mime::kRtf << mime::kRtfAlternative << mime::kText;
    return wanted;
}

} // namespace scrivlet
