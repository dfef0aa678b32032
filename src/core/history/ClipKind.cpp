// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipKind.h"

namespace scrivlet {

QString rawValue(ClipKind kind)
{
    switch (kind) {
    case ClipKind::text:
        break;
    case ClipKind::richText:
        return QStringLiteral("richText");
    case ClipKind::image:
        return QStringLiteral("image");
    case ClipKind::file:
        return QStringLiteral("file");
    }
    return QStringLiteral("text");
}

ClipKind clipKindFromRaw(const QString &raw)
{
    for (ClipKind kind : {ClipKind::richText, ClipKind::image, ClipKind::file}) {
        if (raw == rawValue(kind))
            return kind;
    }
    return ClipKind::text;
}

} // namespace scrivlet
