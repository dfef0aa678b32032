// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/SelectionMonitor.h"

#include "fakes/FakePasteboard.h"
#include "support/TestHistory.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

class SelectionMonitorTest : public ::testing::Test
{
protected:
    SelectionMonitorTest() { m_selection.announces = true; }

    SelectionMonitor &monitor()
    {
        if (!m_monitor) {
            m_monitor = std::make_unique<SelectionMonitor>(store(), m_selection, m_workspace,
                m_knowsButtons ? &m_buttons : nullptr, [this](const std::optional<QString> &app) {
                    return m_capture && !(app && *app == QLatin1String("org.keepassxc.KeePassXC"));
                });
            m_monitor->start();
        }
        return *m_monitor;
    }
    ClipStore &store() { return m_history.store(); }
    void select(const char *text)
    {
        monitor();
        m_selection.copyText(QString::fromUtf8(text));
    }
    // The settle timer runs out, as it would after its wait.
    void settle()
    {
        ASSERT_TRUE(monitor().isSettling()) << "a change starts the wait";
        monitor().settle();
    }
    // Dragging across "text", one more character at each pointer move.
    void drag(const QString &text)
    {
        m_buttons.held = true;
        for (qsizetype i = 1; i <= text.size(); ++i)
            select(text.left(i).toUtf8().constData());
        settle(); // the button is still down
        EXPECT_TRUE(monitor().isSettling()) << "a held button is looked at again";
        m_buttons.held = false;
        settle();
    }
    std::vector<QString> history()
    {
        std::vector<QString> out;
        for (const auto &item : store().recentItems(100))
            out.push_back(item->text());
        return out;
    }

    testing::TestHistory m_history;
    testing::FakePasteboard m_selection;
    testing::FakeWorkspace m_workspace;
    testing::FakePointerButtons m_buttons;
    bool m_knowsButtons = true;
    bool m_capture = true;
    std::unique_ptr<SelectionMonitor> m_monitor;
};

using Texts = std::vector<QString>;

TEST_F(SelectionMonitorTest, ADragIsOneEntryRecordedOnlyOnceTheButtonIsUp)
{
    m_selection.copyText(QStringLiteral("there before"));
    monitor();
    EXPECT_FALSE(monitor().isSettling()) << "nothing waits while nothing changes";

    drag(QStringLiteral("a paragraph"));
    EXPECT_EQ(history(), (Texts {"a paragraph"}));
    EXPECT_EQ(m_selection.contentReads, 1) << "the drag's steps are never read";
    EXPECT_FALSE(monitor().isSettling());

    monitor().settle();
    EXPECT_EQ(m_selection.contentReads, 1) << "an unchanged selection is not read again";
}

TEST_F(SelectionMonitorTest, WithoutButtonStateTimeAloneSettles)
{
    m_knowsButtons = false;
    m_buttons.held = true; // unseen
    select("w");
    select("word");
    settle();
    EXPECT_EQ(history(), (Texts {"word"}));
}

TEST_F(SelectionMonitorTest, ShrinkingOrGrowingTheLastSelectionReplacesIt)
{
    struct Case
    {
        const char *name;
        std::vector<const char *> selections;
        Texts expected;
    };
    const std::vector<Case> cases = {
        {"grown", {"hello", "hello world"}, {"hello world"}},
        {"shrunk", {"hello world", "hello"}, {"hello"}},
        {"grown twice", {"a", "ab", "abc"}, {"abc"}},
        {"unrelated", {"hello", "world"}, {"world", "hello"}},
        {"same middle", {"xhello", "hello"}, {"hello", "xhello"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        (void)store().clearAll();
        m_monitor.reset();
        for (const char *text : c.selections) {
            select(text);
            settle();
        }
        EXPECT_EQ(history(), c.expected);
    }
}

TEST_F(SelectionMonitorTest, OnlyTheNewestUnpinnedEntryIsReplaced)
{
    select("hello");
    settle();
    store().recordContent(ClipContent::text(QStringLiteral("copied meanwhile")), std::nullopt);
    select("hello world");
    settle();
    EXPECT_EQ(history(), (Texts {"hello world", "copied meanwhile", "hello"}));

    select("hello world!");
    settle();
    EXPECT_EQ(history(), (Texts {"hello world!", "copied meanwhile", "hello"}));
    store().togglePin(store().recentItems(1).front());
    select("hello world!!");
    settle();
    EXPECT_EQ(history(), (Texts {"hello world!", "hello world!!", "copied meanwhile", "hello"}))
        << "the pinned one stays, first";
}

TEST_F(SelectionMonitorTest, RefusedSelectionsAreNeverReadAndSecretsNeverKept)
{
    m_capture = false;
    select("while off");
    settle();
    m_capture = true;
    monitor().settle();

    m_workspace.frontmost = QStringLiteral("org.keepassxc.KeePassXC");
    select("hunter2");
    settle();
    m_workspace.frontmost.reset();
    MimeSnapshot secret;
    secret.set(QStringLiteral("org.nspasteboard.ConcealedType"), {});
    secret.set(mime::kText, "pw");
    m_selection.copy(secret);
    settle();
    // Scrivlet's own windows' selections, such as the palette's search text.
    m_selection.write({{mime::kText, "own"}});
    settle();
    EXPECT_TRUE(history().empty());
    EXPECT_EQ(m_selection.contentReads, 2) << "refused selections are not read";
}

TEST_F(SelectionMonitorTest, GoesQuietWhenDestroyed)
{
    select("started");
    m_monitor.reset();
    m_selection.copyText(QStringLiteral("after"));
    EXPECT_TRUE(history().empty());
}

} // namespace
} // namespace scrivlet
