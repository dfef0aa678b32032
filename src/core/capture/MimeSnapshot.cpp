// SPDX-License-Identifier: GPL-3.0-or-later
#include "MimeSnapshot.h"

namespace scrivlet {

std::optional<QByteArray> MimeSnapshot::data(const QString &type) const
{
    const auto found = m_data.constFind(type);
    if (found == m_data.constEnd())
        return std::nullopt;
    return *found;
}

std::optional<QString> MimeSnapshot::string(const QString &type) const
{
    const auto bytes = data(type);
    if (!bytes)
        return std::nullopt;
    return decodeUtf8(*bytes);
}

} // namespace scrivlet
