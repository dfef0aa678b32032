// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/ClipboardMonitor.h"

#include "fakes/FakePasteboard.h"
#include "support/TestHistory.h"

#include <QSet>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using History = std::vector<std::pair<QString, QString>>;

MimeSnapshot snapshotOf(std::initializer_list<std::pair<QString, QByteArray>> representations)
{
    MimeSnapshot snapshot;
    for (const auto &[type, bytes] : representations)
        snapshot.set(type, bytes);
    return snapshot;
}

class ClipboardMonitorTest : public ::testing::Test
{
protected:
    // Made at first use: what is on the clipboard then is never recorded.
    ClipboardMonitor &monitor()
    {
        if (!m_monitor) {
            m_monitor = std::make_unique<ClipboardMonitor>(
                store(), m_pasteboard, m_workspace, [this](const std::optional<QString> &app) {
                    return m_capture && !(app && *app == QLatin1String("org.keepassxc.KeePassXC"));
                });
            QObject::connect(
                m_monitor.get(), &ClipboardMonitor::ownerLeft, [this](const ClipItemPtr &item) {
                    m_restored.push_back(item->text());
                    m_pasteboard.write({{mime::kText, item->text().toUtf8()}});
                });
        }
        return *m_monitor;
    }
    ClipStore &store() { return m_history.store(); }
    void copy(MimeSnapshot snapshot)
    {
        monitor();
        m_pasteboard.copy(std::move(snapshot));
        monitor().poll();
    }
    void copy(const char *text) { copy(snapshotOf({{mime::kText, text}})); }
    // Scrivlet writes an entry back, as a paste does, and sees its own write.
    void paste(const char *text)
    {
        monitor();
        m_pasteboard.write({{mime::kText, text}});
        monitor().poll();
    }
    ClipItemPtr find(const char *text)
    {
        for (const auto &item : store().recentItems(10)) {
            if (item->text() == QString::fromUtf8(text))
                return item;
        }
        return nullptr;
    }
    // (text, source) of each entry, newest first.
    History history()
    {
        History out;
        for (const auto &item : store().recentItems(100))
            out.emplace_back(item->text(), item->sourceAppBundleID().value_or(QStringLiteral("-")));
        return out;
    }

    testing::TestHistory m_history;
    testing::FakePasteboard m_pasteboard;
    testing::FakeWorkspace m_workspace;
    bool m_capture = true;
    std::vector<QString> m_restored;
    std::unique_ptr<ClipboardMonitor> m_monitor;
};

TEST_F(ClipboardMonitorTest, RecordsEachChangeOnceWithItsSourceButNeverWhatWasThereBefore)
{
    m_pasteboard.copyText(QStringLiteral("before start"));
    monitor().start();
    monitor().poll();
    EXPECT_TRUE(history().empty());
    EXPECT_EQ(m_pasteboard.reads, 0) << "an unchanged counter costs no read";

    m_workspace.frontmost = QStringLiteral("org.gnome.TextEditor");
    m_pasteboard.copyText(QStringLiteral("first"));
    copy("second"); // within one tick
    monitor().poll();
    m_workspace.frontmost.reset();
    copy("no window in front");
    EXPECT_EQ(
        history(), (History {{"no window in front", "-"}, {"second", "org.gnome.TextEditor"}}));
    EXPECT_EQ(m_pasteboard.reads, 2);
}

TEST_F(ClipboardMonitorTest, RefusedChangesAreConsumedAndTheirContentsNeverRead)
{
    m_capture = false;
    copy("while off");
    m_capture = true;
    monitor().poll();
    EXPECT_TRUE(history().empty()) << "switching capture on again does not record the old copy";

    m_workspace.frontmost = QStringLiteral("org.keepassxc.KeePassXC");
    copy("hunter2");
    m_workspace.frontmost = QStringLiteral("firefox");
    copy("hunter2");
    copy(snapshotOf({{QStringLiteral("org.nspasteboard.ConcealedType"), {}}, {mime::kText, "pw"}}));
    monitor().poll();
    EXPECT_EQ(history(), (History {{"hunter2", "firefox"}}));
    EXPECT_EQ(m_pasteboard.reads, 4);
    EXPECT_EQ(m_pasteboard.contentReads, 2) << "a refused copy is not read";
}

TEST_F(ClipboardMonitorTest, PastingAPinnedEntryBackKeepsItsPin)
{
    for (const char *text : {"pinned first", "pinned later", "older", "newest"})
        copy(text);
    store().togglePin(find("pinned first"));
    m_history.clock.time += 1;
    store().togglePin(find("pinned later")); // now first in display order

    paste("pinned first");
    EXPECT_TRUE(find("pinned first")->isPinned());
    paste("older");
    EXPECT_EQ(store().recentItems(10).at(2)->text(), QStringLiteral("older"))
        << "an unpinned one moves up";
    copy("pinned first"); // by another application: replaced as any copy is
    EXPECT_FALSE(find("pinned first")->isPinned());
}

TEST_F(ClipboardMonitorTest, WhatLeavesWithItsOwnerIsPutBackOnceIfItWasRecorded)
{
    MimeSnapshot unreadable;
    unreadable.offer(mime::kText); // the owner never delivers it
    const std::tuple<const char *, std::function<void()>, const char *> cases[] = {
        {"a recorded copy", [&] { copy("gardé"); }, "gardé"},
        {"a secret",
            [&] {
                copy(snapshotOf({{mime::kText, "pw"}, {mime::kPasswordManagerHint, "secret"}}));
            },
            nullptr},
        {"capture off", [&] { m_capture = false, copy("pas gardé"); }, nullptr},
        {"a later copy that could not be read", [&] { copy("avant"), copy(unreadable); }, nullptr},
        {"a later copy refused", [&] { copy("avant"), m_capture = false, copy("exclu"); }, nullptr},
        {"deleted meanwhile", [&] { copy("effacé"), store().deleteItem(find("effacé")); }, nullptr},
        {"emptied on purpose", [&] { copy("affiché"), m_pasteboard.clear(), monitor().poll(); },
            nullptr},
    };
    for (const auto &[what, act, restored] : cases) {
        SCOPED_TRACE(what);
        m_monitor.reset();
        m_restored.clear();
        m_capture = true;
        act();
        std::optional<bool> kept;
        monitor().keepCurrentCopy([&](bool answer) { kept = answer; });
        EXPECT_EQ(kept, restored != nullptr) << "what a quitting program is told";
        const History before = history();
        m_pasteboard.ownerLeaves();
        monitor().poll();
        monitor().poll(); // Scrivlet's own re-offer, seen as a change
        EXPECT_EQ(m_restored,
            restored ? std::vector {QString::fromUtf8(restored)} : std::vector<QString> {});
        EXPECT_EQ(m_pasteboard.contents.string(mime::kText).value_or(QString()),
            QString::fromUtf8(restored));
        EXPECT_EQ(history(), before) << "the re-offer is no new record";
        m_pasteboard.ownerLeaves();
        monitor().poll();
        EXPECT_LE(m_restored.size(), 1u) << "only once";
    }
}

TEST_F(ClipboardMonitorTest, AnnouncedChangesAreEachRecordedAsTheyHappenAndInTheirOrder)
{
    m_pasteboard.announces = true;
    m_workspace.frontmost = QStringLiteral("org.example.Editor");
    monitor().start();
    // No look at the counter in between: each announcement is dealt with.
    for (const char *text : {"un", "deux", "trois"})
        m_pasteboard.copy(snapshotOf({{mime::kText, text}}));
    EXPECT_EQ(history(),
        (History {{"trois", "org.example.Editor"}, {"deux", "org.example.Editor"},
            {"un", "org.example.Editor"}}));

    // Put back when its owner quits, and the put-back not recorded again.
    m_pasteboard.ownerLeaves();
    EXPECT_EQ(m_restored, std::vector {QStringLiteral("trois")});
    EXPECT_EQ(history().size(), 3u);
}

TEST_F(ClipboardMonitorTest, WithoutAnnouncementsTheCounterIsOnlyLookedAt)
{
    monitor().start();
    m_pasteboard.copy(snapshotOf({{mime::kText, "plus tard"}}));
    EXPECT_TRUE(history().empty());
    monitor().poll();
    EXPECT_EQ(history().size(), 1u);
}

} // namespace
} // namespace scrivlet
