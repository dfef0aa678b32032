// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/ClipboardMonitor.h"

#include "fakes/FakePasteboard.h"
#include "support/TestHistory.h"

#include <QSet>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::FakePasteboard;
using testing::FakeWorkspace;
using History = std::vector<std::pair<QString, QString>>;

class ClipboardMonitorTest : public ::testing::Test
{
protected:
    // Made at first use: what is on the clipboard then is never recorded.
    ClipboardMonitor &monitor()
    {
        if (!m_monitor) {
            m_monitor = std::make_unique<ClipboardMonitor>(
                store(), m_pasteboard, m_workspace, [this](const std::optional<QString> &app) {
                    return m_capture && !(app && m_excluded.contains(*app));
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
    void copy(const QString &text)
    {
        ClipboardMonitor &watching = monitor();
        m_pasteboard.copyText(text);
        watching.poll();
    }
    void copy(MimeSnapshot snapshot)
    {
        ClipboardMonitor &watching = monitor();
        m_pasteboard.copy(std::move(snapshot));
        watching.poll();
    }
    // Scrivlet writes an entry back, as a paste does, and sees its own write.
    void paste(const char *text)
    {
        ClipboardMonitor &watching = monitor();
        m_pasteboard.write({{mime::kText, text}});
        watching.poll();
    }
    ClipItemPtr find(const QString &text)
    {
        for (const auto &item : store().recentItems(10)) {
            if (item->text() == text)
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
    FakePasteboard m_pasteboard;
    FakeWorkspace m_workspace;
    bool m_capture = true;
    QSet<QString> m_excluded {QStringLiteral("org.keepassxc.KeePassXC")};
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
    copy(QStringLiteral("second")); // within one tick
    monitor().poll();
    m_workspace.frontmost.reset();
    copy(QStringLiteral("no window in front"));
    EXPECT_EQ(
        history(), (History {{"no window in front", "-"}, {"second", "org.gnome.TextEditor"}}));
    EXPECT_EQ(m_pasteboard.reads, 2);
}

TEST_F(ClipboardMonitorTest, RefusedChangesAreConsumedAndTheirContentsNeverRead)
{
    m_capture = false;
    copy(QStringLiteral("while off"));
    m_capture = true;
    monitor().poll();
    EXPECT_TRUE(history().empty()) << "switching capture on again does not record the old copy";

    m_workspace.frontmost = QStringLiteral("org.keepassxc.KeePassXC");
    copy(QStringLiteral("hunter2"));
    m_workspace.frontmost = QStringLiteral("firefox");
    copy(QStringLiteral("hunter2"));
    MimeSnapshot concealed;
    concealed.set(QStringLiteral("org.nspasteboard.ConcealedType"), QByteArray());
    concealed.set(mime::kText, "secret");
    copy(concealed);
    monitor().poll();

    EXPECT_EQ(history(), (History {{"hunter2", "firefox"}}));
    EXPECT_EQ(m_pasteboard.reads, 4);
    EXPECT_EQ(m_pasteboard.contentReads, 2) << "a refused copy is not read";
}

TEST_F(ClipboardMonitorTest, PastingAPinnedEntryBackKeepsItsPin)
{
    for (const char *text : {"pinned first", "pinned later", "older", "newest"})
        copy(QString::fromLatin1(text));
    store().togglePin(find(QStringLiteral("pinned first")));
    m_history.clock.time += 1;
    store().togglePin(find(QStringLiteral("pinned later"))); // now first in display order

    paste("pinned first");
    EXPECT_TRUE(find(QStringLiteral("pinned first"))->isPinned());
    paste("older");
    EXPECT_EQ(store().recentItems(10).at(2)->text(), QStringLiteral("older"))
        << "an unpinned one moves up";
    // Another application copying the same text replaces it, as any copy does.
    copy(QStringLiteral("pinned first"));
    EXPECT_FALSE(find(QStringLiteral("pinned first"))->isPinned());
}

TEST_F(ClipboardMonitorTest, WhatLeavesWithItsOwnerIsPutBackOnceIfItWasRecorded)
{
    MimeSnapshot secret;
    secret.set(mime::kText, "hunter2");
    secret.set(mime::kPasswordManagerHint, "secret");
    MimeSnapshot unreadable;
    unreadable.offer(mime::kText); // the owner never delivers it
    const struct
    {
        const char *what;
        std::function<void()> copy;
        const char *restored; // none: the clipboard stays empty
    } cases[] = {
        {"a recorded copy", [&] { copy(QStringLiteral("gardé")); }, "gardé"},
        {"a secret", [&] { copy(secret); }, nullptr},
        {"capture off",
            [&] {
                m_capture = false;
                copy(QStringLiteral("pas gardé"));
            },
            nullptr},
        {"a later copy that could not be read",
            [&] {
                copy(QStringLiteral("avant"));
                copy(unreadable);
            },
            nullptr},
        {"a later copy refused",
            [&] {
                copy(QStringLiteral("avant"));
                m_capture = false;
                copy(QStringLiteral("exclu"));
            },
            nullptr},
        {"deleted meanwhile",
            [&] {
                copy(QStringLiteral("effacé"));
                store().deleteItem(find(QStringLiteral("effacé")));
            },
            nullptr},
        {"emptied on purpose",
            [&] {
                copy(QStringLiteral("mot de passe affiché"));
                m_pasteboard.clear();
                monitor().poll();
            },
            nullptr},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.what);
        m_monitor.reset();
        m_restored.clear();
        m_capture = true;
        test.copy();
        std::optional<bool> kept;
        monitor().keepCurrentCopy([&](bool answer) { kept = answer; });
        EXPECT_EQ(kept, test.restored != nullptr) << "what a quitting program is told";
        const History before = history();
        m_pasteboard.ownerLeaves();
        monitor().poll();
        monitor().poll(); // Scrivlet's own re-offer, seen as a change
        if (test.restored) {
            EXPECT_EQ(m_restored, std::vector<QString> {QString::fromUtf8(test.restored)});
            EXPECT_EQ(m_pasteboard.contents.string(mime::kText), QString::fromUtf8(test.restored));
        } else {
            EXPECT_TRUE(m_restored.empty());
        }
        EXPECT_EQ(history(), before) << "the re-offer is no new record";
        // Only once: the next owner to leave has nothing of ours to restore.
        m_pasteboard.ownerLeaves();
        monitor().poll();
        EXPECT_LE(m_restored.size(), 1u);
    }
}

} // namespace
} // namespace scrivlet
