// SPDX-License-Identifier: GPL-3.0-or-later
// Paste against a real X server: entries go back on the CLIPBOARD selection
// through Qt, other processes read them, and Ctrl+V reaches another client.
#include "X11Clients.h"
#include "core/history/ClipItem.h"
#include "platform/x11/X11KeySender.h"
#include "platform/x11/X11Pasteboard.h"
#include "support/TestHistory.h"
#include "ui/Paster.h"

#include <QImage>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <gtest/gtest.h>
#include <optional>

namespace scrivlet {
namespace {

using testing::encoded;
using testing::readTarget;

QStringList offeredTargets()
{
    return QString::fromUtf8(readTarget("TARGETS").value_or("")).split('\n', Qt::SkipEmptyParts);
}

// Bytes Qt would not produce again from the pixels (little compression, a
// text chunk), so that any re-encoding on the way shows.
QByteArray smallPng()
{
    QImage image(9, 6, QImage::Format_ARGB32);
    image.fill(QColor(10, 200, 30, 128));
    image.setText("Comment", "as captured");
    return encoded(image, "png", 100);
}

// Noise does not compress: far more than one X request, so it is served in
// increments.
QByteArray largePng()
{
    QImage image(700, 700, QImage::Format_RGB32);
    QRandomGenerator(42).fillRange(
        reinterpret_cast<quint32 *>(image.bits()), image.sizeInBytes() / 4);
    return encoded(image, "png");
}

QByteArray tiff()
{
    QImage image(5, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    return encoded(image, "tiff");
}

class PasteFixture : public ::testing::Test
{
protected:
    ClipItemPtr entry(ClipKind kind, const QString &text,
        const std::optional<QByteArray> &rtf = std::nullopt,
        const std::optional<QString> &imageFile = std::nullopt)
    {
        ClipRecord record;
        record.id = QUuid::createUuid();
        record.kindRaw = rawValue(kind);
        record.imageFileRef = imageFile;
        ClipItemPtr item = ClipItem::create(record);
        item->setText(text);
        item->setRichData(rtf);
        return item;
    }

    ClipItemPtr imageEntry(const QByteArray &bytes, const QString &caption = QString())
    {
        const Result<QString> stored = m_images.write(bytes);
        EXPECT_TRUE(stored.ok()) << stored.error().toStdString();
        return entry(ClipKind::image, caption, std::nullopt,
            stored.ok() ? std::optional(stored.value()) : std::nullopt);
    }

    bool write(const ClipItemPtr &item, bool plain = false)
    {
        return Paster::writeItem(*item, plain, m_images, m_pasteboard);
    }

    testing::TestHistory m_history;
    ImageStore m_images = m_history.images();
    X11Pasteboard m_pasteboard;
};

struct WriteCase
{
    const char *name;
    ClipKind kind;
    bool plain;
    QString text;
    std::optional<QByteArray> rtf;
    QByteArray (*image)(); // none for a text
    // Targets that must be offered, with what each must deliver.
    QList<std::pair<QString, QByteArray>> served;
    // The target that must deliver the image exactly as stored.
    QString imageTarget;
    // Targets that must not be offered; "type/*" stands for a whole family.
    QStringList absent;
};

const QStringList kTextTargets {"UTF8_STRING", "STRING", "TEXT", "COMPOUND_TEXT", "text/*"};

const QString kUnicode = "Grüße, ½ € — 日本";

std::vector<WriteCase> writeCases()
{
    const QByteArray rtf = "{\\rtf1\\ansi {\\b bold} and plain}";
    const QString files = "/tmp/a b.txt\n/tmp/\u00e9t\u00e9/r\u00e9sum\u00e9.pdf";
    const QByteArray uris
        = "file:///tmp/a%20b.txt\r\nfile:///tmp/%C3%A9t%C3%A9/r%C3%A9sum%C3%A9.pdf\r\n";
    const QByteArray gnome
        = "copy\nfile:///tmp/a%20b.txt\nfile:///tmp/%C3%A9t%C3%A9/r%C3%A9sum%C3%A9.pdf";
    return {
        {"Text", ClipKind::text, false, kUnicode, std::nullopt, nullptr,
            {{"UTF8_STRING", kUnicode.toUtf8()}, {"text/plain", kUnicode.toUtf8()}}, {},
            {"text/rtf", "image/*"}},
        {"RichText", ClipKind::richText, false, "bold and plain", rtf, nullptr,
            {{"text/rtf", rtf}, {"UTF8_STRING", QByteArray("bold and plain")}}, {}, {"image/*"}},
        {"RichTextPlainly", ClipKind::richText, true, "bold and plain", rtf, nullptr,
            {{"UTF8_STRING", QByteArray("bold and plain")}}, {},
            {"text/rtf", "application/rtf", "image/*"}},
        {"SmallPng", ClipKind::image, false, QString(), std::nullopt, smallPng, {}, "image/png",
            kTextTargets},
        {"LargePngInIncrements", ClipKind::image, false, QString(), std::nullopt, largePng, {},
            "image/png", kTextTargets},
        {"Tiff", ClipKind::image, false, QString(), std::nullopt, tiff, {}, "image/tiff",
            kTextTargets + QStringList {"image/png"}},
        // No formatting to drop: pasted plain, an image is still the image.
        {"ImagePlainly", ClipKind::image, true, QString(), std::nullopt, smallPng, {}, "image/png",
            kTextTargets},
        {"FileList", ClipKind::file, false, files, std::nullopt, nullptr,
            {{"text/uri-list", uris}, {"x-special/gnome-copied-files", gnome}}, {},
            {"image/*", "text/rtf"}},
        {"FileListPlainly", ClipKind::file, true, files, std::nullopt, nullptr,
            {{"UTF8_STRING", files.toUtf8()}}, {},
            {"text/uri-list", "x-special/gnome-copied-files"}},
    };
}

// Failures name the case rather than dump its bytes.
void PrintTo(const WriteCase &c, std::ostream *os)
{
    *os << c.name;
}

class PasteWriteTest : public PasteFixture, public ::testing::WithParamInterface<WriteCase>
{ };

TEST_P(PasteWriteTest, OtherClientsGetTheTargetsThatMatter)
{
    const WriteCase &c = GetParam();
    if (c.image == tiff && !QImageWriter::supportedImageFormats().contains("tiff"))
        GTEST_SKIP() << "no TIFF plugin";
    const QByteArray imageBytes = c.image ? c.image() : QByteArray();
    ASSERT_TRUE(
        write(c.image ? imageEntry(imageBytes, c.text) : entry(c.kind, c.text, c.rtf), c.plain));

    const QStringList targets = offeredTargets();
    ASSERT_FALSE(targets.isEmpty()) << "nothing offered";
    const std::string listed = targets.join(QLatin1Char(' ')).toStdString();
    RecordProperty("targets", listed);
    for (const auto &[target, bytes] : c.served) {
        EXPECT_TRUE(targets.contains(target)) << target.toStdString() << " in " << listed;
        EXPECT_EQ(readTarget(target), std::optional(bytes)) << target.toStdString();
    }
    if (!c.imageTarget.isEmpty()) {
        EXPECT_TRUE(targets.contains(c.imageTarget)) << listed;
        EXPECT_TRUE(readTarget(c.imageTarget) == imageBytes)
            << "the image is served as stored, never re-encoded";
    }
    for (const QString &forbidden : c.absent) {
        const bool family = forbidden.endsWith(QLatin1String("/*"));
        const QString prefix = forbidden.chopped(1);
        for (const QString &target : targets) {
            EXPECT_FALSE(family ? target.startsWith(prefix) : target == forbidden)
                << target.toStdString() << " offered; all: " << listed;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EachKind, PasteWriteTest, ::testing::ValuesIn(writeCases()),
    [](const ::testing::TestParamInfo<WriteCase> &info) { return std::string(info.param.name); });

TEST_F(PasteFixture, AWriteReplacesTheLastUnlessItHasNothingToOffer)
{
    const struct
    {
        const char *name;
        ClipItemPtr item;
    } cases[] = {
        {"missing image file",
            entry(ClipKind::image, QString(), std::nullopt,
                QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".png")},
        {"bytes that are no image", imageEntry("certainly not an image")},
        {"image entry without a file", entry(ClipKind::image, "caption")},
        {"file entry without paths", entry(ClipKind::file, "\n\n")},
    };
    int copy = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray users = "the user's own copy " + QByteArray::number(++copy);
        ASSERT_TRUE(testing::copyWithXclip(users));
        EXPECT_FALSE(write(c.item));
        EXPECT_EQ(readTarget("UTF8_STRING"), std::optional(users));
    }

    // Taken back from the last xclip, and served to every reader.
    const QByteArray rtf = "{\\rtf1 kept}";
    ASSERT_TRUE(write(entry(ClipKind::richText, "kept", rtf)));
    for (const char *reader : {"first reader", "later reader"}) {
        SCOPED_TRACE(reader);
        EXPECT_EQ(readTarget("text/rtf"), std::optional(rtf));
        EXPECT_EQ(readTarget("UTF8_STRING"), std::optional(QByteArray("kept")));
    }
    ASSERT_TRUE(write(entry(ClipKind::text, "next")));
    EXPECT_FALSE(offeredTargets().contains("text/rtf"))
        << "the previous entry's formatting is gone";
    // Qt answers a target it does not offer with nothing rather than a refusal.
    EXPECT_EQ(readTarget("text/rtf").value_or(QByteArray()), QByteArray());
    EXPECT_EQ(readTarget("UTF8_STRING"), std::optional(QByteArray("next")));
}

// Ctrl+V posted to the client in front: another application's line edit.
// Keys arrive in order: one posted while the session looked like Wayland
// would show before the paste that follows, as a second Ctrl+V.
TEST_F(PasteFixture, CtrlVReachesTheClientInFrontOnlyInAnX11Session)
{
    ASSERT_FALSE(X11KeySender::isWaylandSession()) << "the session must be plain X11";
    testing::Probe recorder(CLIP_OWNER, {});
    ASSERT_TRUE(recorder.says("ready"))
        << "the recorder never got the focus: " << recorder.errors();
    X11KeySender keys(testing::x11Connection());
    ASSERT_TRUE(write(entry(ClipKind::text, "never pasted")));
    for (const auto &[variable, value] :
        {std::pair {"WAYLAND_DISPLAY", "wayland-0"}, std::pair {"XDG_SESSION_TYPE", "wayland"}}) {
        SCOPED_TRACE(variable);
        const std::optional<QByteArray> previous
            = qEnvironmentVariableIsSet(variable) ? std::optional(qgetenv(variable)) : std::nullopt;
        qputenv(variable, value);
        const auto restore
            = qScopeGuard([&] { previous ? qputenv(variable, *previous) : qunsetenv(variable); });
        EXPECT_FALSE(keys.isTrusted());
        Paster::simulatePasteKeystroke(keys);
    }
    const QString text = "pasted by Scrivlet " + kUnicode;
    ASSERT_TRUE(write(entry(ClipKind::text, text)));
    ASSERT_TRUE(keys.isTrusted());
    Paster::simulatePasteKeystroke(keys);
    EXPECT_TRUE(recorder.says("pasted " + text.toUtf8()));
    EXPECT_EQ(recorder.lines().count("key V ctrl"), 1) << recorder.lines().join('|').toStdString();
}

} // namespace
} // namespace scrivlet
