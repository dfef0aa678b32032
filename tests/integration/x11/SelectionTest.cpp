// SPDX-License-Identifier: GPL-3.0-or-later
// The primary selection against a real X server: other processes select, the
// pasteboard of PRIMARY alone notices, and the selection monitor records
// through the real store once the X server says no button is down.
#include "X11Clients.h"
#include "core/capture/SelectionMonitor.h"
#include "core/desktop/DesktopEntries.h"
#include "platform/x11/X11ClipboardReader.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11PointerButtons.h"
#include "platform/x11/X11Workspace.h"
#include "support/TestHistory.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::waitFor;

bool run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    return waitFor([&] { return process.state() == QProcess::NotRunning; })
        && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

class SelectionTest : public ::testing::Test
{
protected:
    ~SelectionTest() override { (void)run("xdotool", {"mouseup", "1"}); }

    // Another program selects `text`, and keeps it until the next selection.
    void select(const QByteArray &text)
    {
        const qint64 before = m_selection.changeCount();
        ASSERT_TRUE(run("xclip", {"-selection", "primary", "-i"}, text));
        ASSERT_TRUE(waitFor([&] { return m_selection.changeCount() != before; }));
    }
    std::vector<QString> history()
    {
        std::vector<QString> out;
        for (const auto &item : m_history.store().recentItems(100))
            out.push_back(item->text());
        return out;
    }

    testing::TestHistory m_history;
    X11ClipboardReader m_reader {{}, X11Selection::primary};
    X11Pasteboard m_selection {&m_reader, X11Selection::primary};
    X11Pasteboard m_clipboard;
    X11PointerButtons m_buttons {testing::x11Connection()};
    DesktopEntries m_applications {QStringList {m_history.folder() + "/applications"}};
    X11Workspace m_workspace {testing::x11Connection(), m_applications};
};

TEST_F(SelectionTest, OnlyThePrimarySelectionMovesItsCounterAndIsReadFromItsOwner)
{
    const qint64 clipboardBefore = m_clipboard.changeCount();
    select("selected text");
    EXPECT_EQ(m_clipboard.changeCount(), clipboardBefore) << "a selection is not a copy";

    const qint64 selectionBefore = m_selection.changeCount();
    ASSERT_TRUE(testing::copyWithXclip("copied text"));
    ASSERT_TRUE(waitFor([&] { return m_clipboard.changeCount() != clipboardBefore; }));
    EXPECT_EQ(m_selection.changeCount(), selectionBefore) << "a copy is not a selection";

    std::optional<ClipboardRead> read;
    m_selection.read(ReadScope::contents, [&](ClipboardRead r) { read = std::move(r); });
    ASSERT_TRUE(waitFor([&] { return read.has_value(); }));
    ASSERT_TRUE(read->content);
    EXPECT_EQ(
        std::get<ClipContent::Text>(read->content->value).text, QStringLiteral("selected text"));
    EXPECT_FALSE(read->ownWrite);
}

TEST_F(SelectionTest, ASelectionIsRecordedOnlyOnceTheButtonIsReleased)
{
    SelectionMonitor monitor(m_history.store(), m_selection, m_workspace, &m_buttons);
    monitor.start();
    ASSERT_TRUE(run("xdotool", {"mousedown", "1"}));
    ASSERT_TRUE(waitFor([&] { return m_buttons.isAnyHeld(); })) << "the X server says it is down";
    select("the quick");
    select("the quick brown fox");
    // Settled in time, the button still down: looked at again, not recorded.
    ASSERT_TRUE(waitFor([&] { return monitor.isSettling(); }));
    monitor.settle();
    EXPECT_TRUE(history().empty());
    EXPECT_TRUE(monitor.isSettling());

    ASSERT_TRUE(run("xdotool", {"mouseup", "1"}));
    ASSERT_TRUE(waitFor([&] { return !history().empty(); }));
    EXPECT_EQ(history(), (std::vector<QString> {"the quick brown fox"}));
}

} // namespace
} // namespace scrivlet
