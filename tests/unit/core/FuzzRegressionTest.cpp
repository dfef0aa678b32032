// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs the fuzz targets of fuzz/ found mishandled.
#include "core/capture/MimeSnapshot.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

std::optional<ClipContent> readOffer(const QString &type, const QByteArray &bytes,
    const std::optional<QByteArray> &text = std::nullopt)
{
    MimeSnapshot snapshot;
    snapshot.set(type, bytes);
    if (text)
        snapshot.set(mime::kText, *text);
    return readClip(snapshot);
}

// The text was kept with its last, incomplete character silently dropped.
TEST(FuzzRegression, TextCutShortInsideACharacterIsNotUtf8)
{
    for (const QByteArray &cut : {QByteArray("a b.tx\xd8"), QByteArray("ab\xe2\x82")})
        EXPECT_FALSE(readOffer(mime::kText, cut)) << cut.toHex().constData();
    const auto whole = readOffer(mime::kText, "h\xc3\xa9");
    ASSERT_TRUE(whole);
    EXPECT_EQ(std::get<ClipContent::Text>(whole->value).text, QStringLiteral("h\u00e9"));
}

// The history keeps a file list one path a line and pastes each back as
// file:// + path: these paths came back as other files, or as none.
TEST(FuzzRegression, FileListsWhosePathsWouldNotComeBackAreText)
{
    for (const QByteArray &list : {QByteArray("file://////tmp/c\r\n"),
             QByteArray("file:////tmp/c\r\n"), QByteArray("file:\r\n"),
             QByteArray("file:///tmp/a%0Ab\r\n"), QByteArray("file:relative\r\n"),
             QByteArray("file://server/share/x\r\n"), QByteArray("file:///ok\r\nfile:\r\n")}) {
        const auto content = readOffer(mime::kUriList, list, QByteArray("caption"));
        ASSERT_TRUE(content) << list.constData();
        EXPECT_EQ(content->kind(), ClipKind::text) << list.constData();
    }
    const auto local = readOffer(mime::kUriList, "file://localhost/tmp/a%20b\r\nfile:///c\r\n");
    ASSERT_TRUE(local);
    EXPECT_EQ(std::get<ClipContent::Files>(local->value).paths,
        QStringList({QStringLiteral("/tmp/a b"), QStringLiteral("/c")}));
}

} // namespace
} // namespace scrivlet
