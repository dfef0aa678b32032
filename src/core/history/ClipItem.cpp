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

namespace {

std::optional<QByteArray> openBox(const std::optional<QByteArray> &cipher)
{
    const auto &crypto = Crypto::shared();
    if (!cipher || !crypto)
        return std::nullopt;
    return crypto->open(*cipher);
}

std::optional<QByteArray> sealBox(const std::optional<QByteArray> &plain)
{
    const auto &crypto = Crypto::shared();
    if (!plain || !crypto)
        return std::nullopt;
    return crypto->seal(*plain);
}

} // namespace

std::optional<QByteArray> ClipItem::richData() const
{
    return openBox(m_record.richCipher);
}

void ClipItem::setRichData(const std::optional<QByteArray> &rtf)
{
    setRichCipher(sealBox(rtf));
}

std::optional<QByteArray> ClipItem::html() const
{
    return openBox(m_record.htmlCipher);
}

void ClipItem::setHtml(const std::optional<QByteArray> &html)
{
    setHtmlCipher(sealBox(html));
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

void ClipItem::setHtmlCipher(std::optional<QByteArray> cipher)
{
    m_record.htmlCipher = std::move(cipher);
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
