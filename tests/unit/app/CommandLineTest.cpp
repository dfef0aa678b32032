// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's requests as typed and as received on the socket, and
// the listing they print.
#include "app/cli/CommandRequest.h"
#include "app/cli/HistoryListing.h"
#include "core/crypto/Crypto.h"
#include "core/history/ClipItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using Command = CommandRequest::Command;

QStringList words(const char *line)
{
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(CommandRequest, TypedCommands)
{
    const std::pair<const char *, const char *> cases[] = {{"toggle", R"({"command":"toggle"})"},
        {"list", R"({"command":"list","json":false,"null":false})"},
        {"list --limit 5 --json", R"({"command":"list","json":true,"limit":5,"null":false})"},
        {"search café --null", R"({"command":"search","json":false,"null":true,"query":"café"})"},
        {"search -- --json", R"({"command":"search","json":false,"null":false,"query":"--json"})"},
        {"copy 3", R"({"command":"copy","target":"3"})"},
        {"paste id:6f1e0c4a-2b1d-4c8e-9a51-0d2f4e6b8a10",
            R"({"command":"paste","target":"id:6f1e0c4a-2b1d-4c8e-9a51-0d2f4e6b8a10"})"},
        {"delete 1", R"({"command":"delete","target":"1"})"},
        {"clear --yes", R"({"command":"clear","yes":true})"},
        {"capture status", R"({"capture":"status","command":"capture"})"},
        // Refused, each with its reason.
        {"", nullptr}, {"frobnicate", nullptr}, {"copy", nullptr}, {"copy 0", nullptr},
        {"copy -1", nullptr}, {"copy +2", nullptr}, {"copy two", nullptr}, {"copy 1 2", nullptr},
        {"pin id:nope", nullptr}, {"list --limit", nullptr}, {"list --limit -3", nullptr},
        {"list --limit 99999999999", nullptr}, {"list extra", nullptr}, {"toggle --json", nullptr},
        {"search", nullptr}, {"capture", nullptr}, {"capture maybe", nullptr},
        {"clear --force", nullptr}};
    for (const auto &[typed, sent] : cases) {
        SCOPED_TRACE(typed);
        const Result<CommandRequest> request = CommandRequest::fromArguments(words(typed));
        if (!sent) {
            ASSERT_FALSE(request);
            EXPECT_FALSE(request.error().isEmpty());
            continue;
        }
        ASSERT_TRUE(request) << request.error().toStdString();
        EXPECT_EQ(request.value().toJson(), QByteArray(sent));
        // And it reads back the same on the other side.
        const Result<CommandRequest> received = CommandRequest::fromJson(request.value().toJson());
        ASSERT_TRUE(received);
        EXPECT_EQ(received.value().toJson(), request.value().toJson());
    }
}

TEST(CommandRequest, WhatArrivesOnTheSocketIsUntrusted)
{
    const QByteArray refused[] = {"", "not json", "[]", R"({"command":3})",
        R"({"command":"rm -rf"})", R"({"command":"copy"})", R"({"command":"copy","target":"0"})",
        R"({"command":"copy","target":"1; drop table"})",
        R"({"command":"list","limit":1.5,"json":false,"null":false})",
        R"({"command":"list","limit":-1})", R"({"command":"list","limit":1e300})",
        R"({"command":"list","json":"yes"})", R"({"command":"toggle","extra":true})",
        R"({"command":"capture","capture":"sometimes"})", R"({"command":"clear","yes":1})",
        QByteArray(CommandRequest::kMaxLine + 1, ' ')};
    for (const QByteArray &line : refused) {
        SCOPED_TRACE(line.left(60).toStdString());
        EXPECT_FALSE(CommandRequest::fromJson(line));
    }
    const Result<CommandRequest> list = CommandRequest::fromJson(R"({"command":"list"})");
    ASSERT_TRUE(list) << "options may be left out";
    EXPECT_FALSE(list.value().limit);
    EXPECT_FALSE(CommandRequest::fromJson(R"({"command":"clear"})").value().yes)
        << "clearing needs an explicit yes";
}

class ListingTest : public ::testing::Test
{
protected:
    void SetUp() override { Crypto::setShared(Crypto(SecretBytes(32))); }
    void TearDown() override { Crypto::setShared(std::nullopt); }

    static ClipItemPtr text(const QString &content, bool pinned = false)
    {
        ClipItemPtr item = ClipItem::create();
        item->setText(content);
        item->setPinned(pinned, pinned ? std::optional<double>(1) : std::nullopt);
        return item;
    }
};

TEST_F(ListingTest, PreviewsAreOneLine)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("  deux\tmots\n\n  et\r\nune ligne  "),
            QStringLiteral("deux mots et une ligne")},
        {QStringLiteral("bell\aand\x1b[31mescape"), QStringLiteral("bell and [31mescape")},
        {QString(250, QLatin1Char('a')), QString(200, QLatin1Char('a')) + QChar(0x2026)},
        {QString(), QString()},
    };
    for (const auto &[full, preview] : cases)
        EXPECT_EQ(HistoryListing::preview(*text(full)), preview);
}

TEST_F(ListingTest, LinesAndJson)
{
    const std::vector<HistoryListing::Entry> entries {
        {1, text(QStringLiteral("épinglé"), true)}, {4, text(QStringLiteral("a\tb"))}};
    EXPECT_EQ(HistoryListing::lines(entries, false), "1\ttext\t*\tépinglé\n4\ttext\t\ta b\n");
    EXPECT_EQ(HistoryListing::lines(entries, true),
        QByteArray("1\ttext\t*\tépinglé\0"
                   "4\ttext\t\ta b\0",
            31));

    const QJsonArray array = QJsonDocument::fromJson(HistoryListing::json(entries)).array();
    ASSERT_EQ(array.size(), 2);
    const QJsonObject second = array.at(1).toObject();
    EXPECT_EQ(second.value("position").toInt(), 4);
    EXPECT_EQ(second.value("text").toString(), "a\tb") << "the full text, not the preview";
    EXPECT_EQ(second.value("pinned").toBool(), false);
    EXPECT_TRUE(second.value("sourceApp").isNull());
    EXPECT_EQ(QUuid::fromString(second.value("id").toString()), entries[1].item->id());
    EXPECT_TRUE(second.value("createdAt").toString().endsWith('Z'));
}

} // namespace
} // namespace scrivlet
