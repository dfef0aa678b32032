// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/cli/CommandHandler.h"

#include "AppFixture.h"
#include "app/DesktopSession.h"
#include "core/settings/AppSettings.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using namespace testing;

class CommandHandlerTest : public AppFixture
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(launch.start());
        // Newest first: "quatre" at 1 … "un" at 4; then "deux" pinned to the top.
        for (const char *text : {"un", "deux", "trois", "quatre"})
            launch.copy(QString::fromUtf8(text));
        launch.delegate().store()->togglePin(launch.delegate().store()->recentItems(10)[2]);
    }
    CommandHandler &handler()
    {
        if (!m_handler)
            m_handler = std::make_unique<CommandHandler>(CommandHandler::Services {
                [this] { return launch.delegate().store(); }, launch.delegate().settings(),
                launch.m_pasteboard, launch.m_workspace, launch.m_keys, launch.m_applications,
                launch.m_defaults, [this] { return unavailable; }, [this] { return withheld; }});
        return *m_handler;
    }
    CommandResponse send(const CommandRequest &request)
    {
        std::optional<CommandResponse> answer;
        handler().handle(request, [&](const CommandResponse &r) { answer = r; });
        waitFor([&] { return answer.has_value(); }, 3000);
        return answer.value_or(CommandResponse {false, {}, QStringLiteral("no answer")});
    }
    CommandResponse run(const QString &typed)
    {
        const auto request = CommandRequest::fromArguments(typed.split(QLatin1Char(' ')));
        EXPECT_TRUE(request) << typed.toStdString();
        return send(request.value());
    }
    QString clipboard() { return launch.m_pasteboard.contents.string(mime::kText).value_or(""); }

    Launch launch {m_root.path(), m_keyring, m_dialogs};
    QString unavailable;
    QStringList withheld;
    std::unique_ptr<CommandHandler> m_handler;
};

TEST_F(CommandHandlerTest, ListingsKeepTheirPositions)
{
    EXPECT_EQ(run("list").output,
        "1\ttext\t*\tdeux\n2\ttext\t\tquatre\n3\ttext\t\ttrois\n4\ttext\t\tun\n");
    EXPECT_EQ(run("list --limit 2").output, "1\ttext\t*\tdeux\n2\ttext\t\tquatre\n");
    // A search shows positions of the whole list, so "copy N" copies what it showed.
    EXPECT_EQ(run("search TROIS").output, "3\ttext\t\ttrois\n");
    EXPECT_EQ(run("search u").output, "1\ttext\t*\tdeux\n2\ttext\t\tquatre\n4\ttext\t\tun\n");
    EXPECT_EQ(run("search u --limit 1").output, "1\ttext\t*\tdeux\n");
    EXPECT_EQ(run("search zzz").output, "");
}

TEST_F(CommandHandlerTest, EntriesByPositionOrId)
{
    EXPECT_TRUE(run("copy 3").ok);
    EXPECT_EQ(clipboard(), "trois");
    const QString id
        = launch.delegate().store()->recentItems(10)[3]->id().toString(QUuid::WithoutBraces);
    EXPECT_TRUE(run("copy id:" + id).ok);
    EXPECT_EQ(clipboard(), "un");

    const CommandResponse missing = run("copy 9");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "no entry at position 9 (the history has 4)");
    EXPECT_FALSE(run("copy id:00000000-0000-0000-0000-000000000001").ok);

    // Pinning what is pinned changes nothing; the order follows the pins.
    EXPECT_TRUE(run("pin 1").ok);
    EXPECT_TRUE(run("pin 3").ok);
    EXPECT_EQ(run("list --limit 2").output, "1\ttext\t*\ttrois\n2\ttext\t*\tdeux\n");
    EXPECT_TRUE(run("unpin 1").ok);
    EXPECT_TRUE(run("delete 1").ok);
    EXPECT_EQ(run("list").output, "1\ttext\t\tquatre\n2\ttext\t\ttrois\n3\ttext\t\tun\n");
}

TEST_F(CommandHandlerTest, PasteOnlyIntoTheWindowInFront)
{
    launch.m_workspace.active
        = WindowRef {42, QStringLiteral("org.example.Editor"), QStringLiteral("Editor")};
    EXPECT_TRUE(run("paste 2").ok);
    EXPECT_EQ(clipboard(), "quatre");
    EXPECT_EQ(launch.m_keys.pastes, 1);

    launch.m_keys.trusted = false;
    const CommandResponse untrusted = run("paste 3");
    EXPECT_FALSE(untrusted.ok);
    EXPECT_EQ(clipboard(), "trois") << "still on the clipboard";
    EXPECT_EQ(launch.m_keys.pastes, 1);
}

TEST_F(CommandHandlerTest, CaptureAndClear)
{
    EXPECT_EQ(run("capture status").output, "on\n");
    run("capture toggle");
    EXPECT_FALSE(launch.delegate().settings().captureEnabled());
    EXPECT_EQ(run("capture status").output, "off\n");
    run("capture on");
    EXPECT_TRUE(launch.delegate().settings().captureEnabled());
    // A desktop that hides the clipboard (GNOME on Wayland): the first word
    // stays what scripts read, the rest says why nothing comes.
    unavailable = QStringLiteral("no extension");
    EXPECT_EQ(run("capture status").output, "on, but nothing is recorded: no extension\n");
    run("capture off");
    EXPECT_EQ(run("capture status").output, "off\n");
    run("capture on");
    // What else the desktop withholds follows, a line each, under either word.
    unavailable.clear();
    withheld = QStringList {"no paste keyboard: why", "no front window: why"};
    EXPECT_EQ(run("capture status").output, "on\nno paste keyboard: why\nno front window: why\n");
    run("capture off");
    EXPECT_EQ(run("capture status").output, "off\nno paste keyboard: why\nno front window: why\n");
    run("capture on");

    CommandRequest unconfirmed;
    unconfirmed.command = CommandRequest::Command::clear;
    EXPECT_FALSE(send(unconfirmed).ok) << "a request without yes clears nothing";
    EXPECT_EQ(launch.delegate().store()->recentItems(10).size(), 4u);
    EXPECT_TRUE(run("clear --yes").ok);
    EXPECT_TRUE(launch.delegate().store()->recentItems(10).empty());
}

// KWin's grants missing: each line says what is missing, why (naming this
// program's path, which the desktop entry must name) and what stands in.
TEST_F(CommandHandlerTest, SearchLooksThroughTheWholeHistory)
{
    launch.delegate().settings().setHistoryLimit(1000);
    ClipStore &store = *launch.delegate().store();
    for (int i = 0; i < 250; ++i)
        store.recordContent(ClipContent::text(QStringLiteral("ligne %1").arg(i)), std::nullopt);
    // deux (pinned), the 250 lines, quatre, trois, un.
    EXPECT_EQ(run("search trois").output, "253\ttext\t\ttrois\n");
    EXPECT_EQ(run("search ligne --limit 2").output, "2\ttext\t\tligne 249\n3\ttext\t\tligne 248\n");
    EXPECT_EQ(run("copy 253").ok, true);
    EXPECT_EQ(clipboard(), QStringLiteral("trois"));
}

TEST(KwinGrants, OneLinePerMissingGrantWithItsFallback)
{
    const QString exe = QStringLiteral("/home/u/build/src/app/scrivlet");
    struct Case
    {
        DesktopSession::KwinGrants grants;
        QStringList starts;
        QString fallback;
    };
    const QList<Case> cases {
        {{true, true, false, exe}, {}, {}},
        {{false, true, true, exe}, {"no paste keyboard: KWin gives it only"},
            "RemoteDesktop portal's consent"},
        {{false, false, false, exe}, {"no paste keyboard: ", "no front window: "},
            "no automatic paste"},
        {{true, false, false, exe}, {"no front window: "}, "excluded applications"},
    };
    for (const Case &c : cases) {
        const QStringList lines = DesktopSession::withheldBy(c.grants);
        ASSERT_EQ(lines.size(), c.starts.size()) << lines.join('\n').toStdString();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            EXPECT_TRUE(lines[i].startsWith(c.starts[i])) << lines[i].toStdString();
            EXPECT_TRUE(lines[i].contains(exe)) << lines[i].toStdString();
        }
        if (!lines.isEmpty()) {
            EXPECT_TRUE(lines.join('\n').contains(c.fallback)) << lines.join('\n').toStdString();
        }
    }
}

} // namespace
} // namespace scrivlet
