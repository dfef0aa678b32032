// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipItem.h"

#include "ModelContext.h"
#include "core/crypto/Crypto.h"

#include <QStringDecoder>

namespace scrivlet {

ClipItem::ClipItem(ClipRecord record)
    : m_record(std::move(record))
{ }

std::shared_ptr<ClipItem> ClipItem::create(ClipRecord record)
{
    return std::shared_ptr<ClipItem>(new ClipItem(std::move(record)));
}

QString ClipItem::text() const
{
    const auto &crypto = Crypto::shared();
    if (m_record.textCipher.isEmpty() || !crypto)
        return {};
    const std::optional<QByteArray> plain = crypto->open(m_record.textCipher);
    if (!plain)
        return {};
    // Invalid UTF-8 reads as empty rather than as replacement characters.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(*plain);
    return decoder.hasError() ? QString() : decoded;
}

void ClipItem::setText(const QString &text)
{
    const auto &crypto = Crypto::shared();
    setTextCipher(crypto ? crypto->seal(text.toUtf8()) : QByteArray());
}

std::optional<QByteArray> ClipItem::richData() const
{
    const auto &crypto = Crypto::shared();
    if (!m_record.richCipher || !crypto)
        return std::nullopt;
    return crypto->open(*m_record.richCipher);
}

void ClipItem::setRichData(const std::optional<QByteArray> &rtf)
{
    const auto &crypto = Crypto::shared();
    if (!rtf || !crypto)
        setRichCipher(std::nullopt);
    else
        setRichCipher(crypto->seal(*rtf));
}

void ClipItem::setRecord(ClipRecord record)
{
    m_record = std::move(record);
    changed();
}

void ClipItem::setTextCipher(QByteArray cipher)
{
    m_record.textCipher = std::move(cipher);
    changed();
}

void ClipItem::setRichCipher(std::optional<QByteArray> cipher)
{
    m_record.richCipher = std::move(cipher);
    changed();
}

void ClipItem::setLegacyText(std::optional<QString> text)
{
    m_record.legacyText = std::move(text);
    changed();
}

void ClipItem::setLegacyRich(std::optional<QByteArray> rtf)
{
    m_record.legacyRich = std::move(rtf);
    changed();
}

void ClipItem::setPinned(bool pinned, std::optional<double> pinnedAt)
{
    m_record.isPinned = pinned;
    m_record.pinnedAt = pinnedAt;
    changed();
}

void ClipItem::changed()
{
    if (m_context)
        m_context->noteChanged(*this);
}

} // namespace scrivlet
