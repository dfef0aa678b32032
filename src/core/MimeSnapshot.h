// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PasteboardReading.h"

#include <QHash>
#include <QSet>

namespace scrivlet {

// A snapshot held as bytes by MIME type: what a clipboard reader copied out
// of the clipboard at one moment. A type may be offered without its bytes
// (the owner could not deliver them).
class MimeSnapshot : public PasteboardSnapshot
{
public:
    void offer(const QString &type) { m_offered.insert(type); }
    void set(const QString &type, QByteArray bytes)
    {
        m_offered.insert(type);
        m_data.insert(type, std::move(bytes));
    }

    [[nodiscard]] bool hasType(const QString &type) const override
    {
        return m_offered.contains(type);
    }
    [[nodiscard]] QList<QUrl> fileURLs() const override;
    [[nodiscard]] std::optional<QByteArray> data(const QString &type) const override;
    [[nodiscard]] std::optional<QString> string(const QString &type) const override;
    [[nodiscard]] bool isOwnWrite() const override { return m_ownWrite; }
    void setOwnWrite(bool own) { m_ownWrite = own; }
    [[nodiscard]] bool hasOwner() const override { return m_hasOwner; }
    void setHasOwner(bool hasOwner) { m_hasOwner = hasOwner; }

private:
    QSet<QString> m_offered;
    QHash<QString, QByteArray> m_data;
    bool m_ownWrite = false;
    bool m_hasOwner = true;
};

} // namespace scrivlet
