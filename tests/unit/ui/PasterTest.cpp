// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Paster.h"

#include "core/history/ClipItem.h"
#include "fakes/FakePasteboard.h"
#include "support/TestHistory.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::FakeKeySender;
using testing::FakePasteboard;

QByteArray encoded(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray pngBytes()
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    return encoded(image);
}

class PasterTest : public ::testing::Test
{
protected:
    ClipItemPtr entry(ClipKind kind, const QString &text,
        std::optional<QByteArray> rtf = std::nullopt, std::optional<QString> image = std::nullopt)
    {
        ClipRecord record;
        record.kindRaw = rawValue(kind);
        record.imageFileRef = image;
        auto item = ClipItem::create(record);
        item->setText(text);
        item->setRichData(rtf);
        return item;
    }

    ClipItemPtr richEntry(std::optional<QByteArray> rtf, std::optional<QByteArray> html)
    {
        auto item = entry(ClipKind::richText, QStringLiteral("Gras"), std::move(rtf));
        item->setHtml(html);
        return item;
    }
    ClipItemPtr imageEntry(const std::optional<QString> &file)
    {
        return entry(ClipKind::image, QString(), std::nullopt, file);
    }
    // The MIME types written, or "nothing".
    QStringList typesWritten(const ClipItem &item, bool plain)
    {
        const auto written = Paster::representations(item, plain, *m_images);
        if (!written)
            return {QStringLiteral("nothing")};
        QStringList types;
        for (const auto &representation : *written)
            types.append(representation.first);
        return types;
    }

    testing::TestHistory m_history;
    std::optional<ImageStore> m_images = m_history.images();
};

TEST_F(PasterTest, EachKindOffersItsRepresentationsOrPlainText)
{
    const QString image = m_images->write(pngBytes()).value();
    {
        QFile clear(m_history.imagesFolder() + QStringLiteral("/CLEAR.png"));
        ASSERT_TRUE(clear.open(QIODevice::WriteOnly));
        clear.write(pngBytes()); // an image stored before images were sealed
    }
    const QString notImage = m_images->write("not an image").value();
    auto richWithoutRtf
        = entry(ClipKind::richText, QStringLiteral("plain"), QByteArray("{\\rtf1}"));
    richWithoutRtf->setRichCipher(QByteArray(40, 'x')); // cannot be opened

    const QStringList text {QStringLiteral("text/plain")};
    const QStringList png {QStringLiteral("image/png")};
    const QStringList nothing {QStringLiteral("nothing")};
    const QStringList uris {
        QStringLiteral("text/uri-list"), QStringLiteral("x-special/gnome-copied-files")};
    const struct
    {
        const char *name;
        ClipItemPtr item;
        QStringList normal;
        QStringList plain;
    } cases[] = {
        {"text", entry(ClipKind::text, QStringLiteral("hello")), text, text},
        {"rich text",
            entry(ClipKind::richText, QStringLiteral("bold"), QByteArray("{\\rtf1 bold}")),
            {QStringLiteral("text/rtf"), QStringLiteral("text/plain")}, text},
        {"rich text whose RTF cannot be opened", richWithoutRtf, text, text},
        {"rich text from a browser", richEntry(std::nullopt, QByteArray("<b>Gras</b>")),
            {QStringLiteral("text/html"), QStringLiteral("text/plain")}, text},
        {"rich text with RTF and HTML", richEntry(QByteArray("{\\rtf1}"), QByteArray("<b>")),
            {QStringLiteral("text/rtf"), QStringLiteral("text/html"), QStringLiteral("text/plain")},
            text},
        // An image pasted plain is still the image, never an empty text.
        {"image", imageEntry(image), png, png},
        {"unsealed image", imageEntry(QStringLiteral("CLEAR.png")), png, png},
        {"deleted image file", imageEntry(QStringLiteral("GONE.png")), nothing, nothing},
        {"bytes that are no image", imageEntry(notImage), nothing, nothing},
        {"image without a file", imageEntry(std::nullopt), nothing, nothing},
        {"files", entry(ClipKind::file, QStringLiteral("/a\n/b")), uris, text},
        {"no files", entry(ClipKind::file, QString()), nothing, text},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(typesWritten(*c.item, false), c.normal) << c.name;
        EXPECT_EQ(typesWritten(*c.item, true), c.plain) << c.name;
    }
}

TEST_F(PasterTest, WrittenBytesAreTheEntrysOwn)
{
    // 35 Mpx: more than Qt's decoder takes by default, less than a photo.
    QImage big(7000, 5000, QImage::Format_RGB32);
    big.fill(Qt::darkCyan);
    for (const QByteArray &png : {pngBytes(), encoded(big)}) {
        const auto item = imageEntry(m_images->write(png).value());
        const auto written = Paster::representations(*item, false, *m_images);
        ASSERT_TRUE(written);
        EXPECT_EQ(written->at(0), (std::pair {QStringLiteral("image/png"), png}))
            << "never re-encoded";
    }
    // A header that claims more than any screen holds is refused unread.
    QByteArray claim = pngBytes();
    claim[16] = '\x7f'; // the width's first byte
    const auto huge = imageEntry(m_images->write(claim).value());
    EXPECT_FALSE(Paster::representations(*huge, false, *m_images));

    const auto rich = richEntry(QByteArray("{\\rtf1 x}"), QStringLiteral("<b>été</b>").toUtf8());
    EXPECT_EQ(*Paster::representations(*rich, false, *m_images),
        (Pasteboard::Representations {{QStringLiteral("text/rtf"), "{\\rtf1 x}"},
            {QStringLiteral("text/html"), QStringLiteral("<b>été</b>").toUtf8()},
            {QStringLiteral("text/plain"), "Gras"}}));

    const auto files = entry(ClipKind::file, QStringLiteral("/tmp/a b\n\n/tmp/c\n/été"));
    const auto written = Paster::representations(*files, false, *m_images);
    EXPECT_EQ(written->at(0).second,
        QByteArray("file:///tmp/a%20b\r\nfile:///tmp/c\r\nfile:///%C3%A9t%C3%A9\r\n"));
    EXPECT_EQ(written->at(1).second,
        QByteArray("copy\nfile:///tmp/a%20b\nfile:///tmp/c\nfile:///%C3%A9t%C3%A9"));
    EXPECT_EQ(Paster::representations(*files, true, *m_images)->at(0).second,
        QStringLiteral("/tmp/a b\n\n/tmp/c\n/été").toUtf8());
}

TEST_F(PasterTest, NothingToWriteLeavesTheClipboardAsItWas)
{
    FakePasteboard pasteboard;
    pasteboard.copyText(QStringLiteral("the user's own copy"));
    const auto missing = imageEntry(QStringLiteral("GONE.png"));
    EXPECT_FALSE(Paster::writeItem(*missing, false, *m_images, pasteboard));
    EXPECT_TRUE(pasteboard.writes.empty());
    EXPECT_EQ(pasteboard.contents.string(mime::kText), QStringLiteral("the user's own copy"));

    EXPECT_TRUE(Paster::writeItem(
        *entry(ClipKind::text, QStringLiteral("x")), false, *m_images, pasteboard));
    EXPECT_EQ(pasteboard.writes.size(), 1u);
}

TEST(PasterKeystroke, IsPostedOnlyWhenTrusted)
{
    FakeKeySender keys;
    for (const bool trusted : {false, true}) {
        keys.trusted = trusted;
        Paster::simulatePasteKeystroke(keys);
    }
    EXPECT_EQ(keys.keys, std::vector<PasteKey> {PasteKey::ctrlV});
}

} // namespace
} // namespace scrivlet
