// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClipKind.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>

namespace scrivlet {

class ModelContext;

// The stored fields of one history entry, in schema order. Times are
// seconds since the Unix epoch.
struct ClipRecord
{
    QUuid id;
    double createdAt = 0;
    qint64 seq = 0;
    QString kindRaw;
    QByteArray textCipher;
    std::optional<QByteArray> richCipher;
    std::optional<QString> legacyText; // stored as "text"
    std::optional<QByteArray> legacyRich; // stored as "richData"
    QString contentHash;
    std::optional<QString> imageFileRef;
    std::optional<QString> sourceAppBundleID;
    bool isPinned = false;
    std::optional<double> pinnedAt;
    qint64 byteSize = 0;
    std::optional<QByteArray> htmlCipher;
};

// One history entry. A reference type: the model context hands out one object
// per stored record, so two pointers are equal exactly when they denote the
// same entry. Payloads stay sealed; `text`, `richData` and `html` open them
// on every read with the process-wide cipher.
class ClipItem : public std::enable_shared_from_this<ClipItem>
{
public:
    static std::shared_ptr<ClipItem> create(ClipRecord record = {});

    ClipItem(const ClipItem &) = delete;
    ClipItem &operator=(const ClipItem &) = delete;

    [[nodiscard]] const ClipRecord &record() const { return m_record; }

    [[nodiscard]] const QUuid &id() const { return m_record.id; }
    [[nodiscard]] double createdAt() const { return m_record.createdAt; }
    [[nodiscard]] qint64 seq() const { return m_record.seq; }
    [[nodiscard]] const QString &kindRaw() const { return m_record.kindRaw; }
    [[nodiscard]] const QByteArray &textCipher() const { return m_record.textCipher; }
    [[nodiscard]] const std::optional<QByteArray> &richCipher() const
    {
        return m_record.richCipher;
    }
    [[nodiscard]] const std::optional<QString> &legacyText() const { return m_record.legacyText; }
    [[nodiscard]] const std::optional<QByteArray> &legacyRich() const
    {
        return m_record.legacyRich;
    }
    [[nodiscard]] const QString &contentHash() const { return m_record.contentHash; }
    [[nodiscard]] const std::optional<QString> &imageFileRef() const
    {
        return m_record.imageFileRef;
    }
    [[nodiscard]] const std::optional<QString> &sourceAppBundleID() const
    {
        return m_record.sourceAppBundleID;
    }
    [[nodiscard]] bool isPinned() const { return m_record.isPinned; }
    [[nodiscard]] const std::optional<double> &pinnedAt() const { return m_record.pinnedAt; }
    [[nodiscard]] qint64 byteSize() const { return m_record.byteSize; }
    [[nodiscard]] const std::optional<QByteArray> &htmlCipher() const
    {
        return m_record.htmlCipher;
    }

    [[nodiscard]] ClipKind kind() const { return clipKindFromRaw(m_record.kindRaw); }
    [[nodiscard]] QString text() const;
    void setText(const QString &text);
    [[nodiscard]] std::optional<QByteArray> richData() const;
    void setRichData(const std::optional<QByteArray> &rtf);
    [[nodiscard]] std::optional<QByteArray> html() const;
    void setHtml(const std::optional<QByteArray> &html);

    // Every write marks the entry changed in its context, which stores it at
    // the next save.
    void setRecord(ClipRecord record);
    void setTextCipher(QByteArray cipher);
    void setRichCipher(std::optional<QByteArray> cipher);
    void setHtmlCipher(std::optional<QByteArray> cipher);
    void setLegacyText(std::optional<QString> text);
    void setLegacyRich(std::optional<QByteArray> rtf);
    void setPinned(bool pinned, std::optional<double> pinnedAt);

private:
    explicit ClipItem(ClipRecord record);
    void changed();

    friend class ModelContext;
    ClipRecord m_record;
    ModelContext *m_context = nullptr;
    // The id as the database spells it, which another program may have
    // written in another case; empty until read from the database.
    QString m_storedId;
};

using ClipItemPtr = std::shared_ptr<ClipItem>;

} // namespace scrivlet

Q_DECLARE_METATYPE(scrivlet::ClipItemPtr)
