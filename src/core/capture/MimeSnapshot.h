// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PasteboardReading.h"

#include <QHash>
#include <QSet>

namespace scrivlet {

// A snapshot held as bytes by MIME type: a copy already in memory (our own,
// or one a test makes). A type may be offered without its bytes (the owner
// could not deliver them).
class MimeSnapshot : public PasteboardSnapshot
{
public:
    void offer(const QString &type) { m_offered.insert(type); }
    void set(const QString &type, const QByteArray &bytes)
    {
        m_offered.insert(type);
        m_data.insert(type, bytes);
    }

    [[nodiscard]] bool hasType(const QString &type) const override
    {
        return m_offered.contains(type);
    }
    [[nodiscard]] std::optional<QByteArray> data(const QString &type) const override;
    // The bytes of `type` as UTF-8 text.
    [[nodiscard]] std::optional<QString> string(const QString &type) const;

private:
    QSet<QString> m_offered;
    QHash<QString, QByteArray> m_data;
};

} // namespace scrivlet
