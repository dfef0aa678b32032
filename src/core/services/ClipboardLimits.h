// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
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

    [[nodiscard]] qint64 capFor(const QString &type) const
    {
        return type.startsWith(QLatin1String("image/")) ? maxImageBytes : maxOtherBytes;
    }
};

} // namespace scrivlet
