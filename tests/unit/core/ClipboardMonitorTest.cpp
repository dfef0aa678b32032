// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/ClipboardMonitor.h"

#include "core/history/ClipStore.h"
#include "core/crypto/Crypto.h"
#include "core/history/ModelContainer.h"
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"

#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::FakePasteboard;
using testing::FakeWorkspace;

class ClipboardMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SecretBytes key(32);
        Crypto::setShared(Crypto(key));
        m_container = std::move(ModelContainer::open(m_dir.path())).value();
        m_store = std::make_unique<ClipStore>(m_container->mainContext(),
            ImageStore(m_dir.path() + QStringLiteral("/images"), Crypto::shared()), m_clock);
    }
    void TearDown() override { Crypto::setShared(std::nullopt); }

    // (text, source) of each entry, newest first.
    std::vector<std::pair<QString, QString>> history()
    {
        std::vector<std::pair<QString, QString>> out;
        for (const auto &item : m_store->recentItems(100))
            out.emplace_back(item->text(), item->sourceAppBundleID().value_or(QStringLiteral("-")));
        return out;
    }

    QTemporaryDir m_dir;
    testing::FakeClock m_clock;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<ClipStore> m_store;
    FakePasteboard m_pasteboard;
    FakeWorkspace m_workspace;
};

using History = std::vector<std::pair<QString, QString>>;

TEST_F(ClipboardMonitorTest, RecordsEachChangeOnceWithItsSourceButNeverWhatWasThereBefore)
{
    m_pasteboard.copyText(QStringLiteral("before start"));
    ClipboardMonitor monitor(*m_store, m_pasteboard, m_workspace);
    monitor.start();
    monitor.poll();
    EXPECT_TRUE(history().empty());
    EXPECT_EQ(m_pasteboard.reads, 0) << "an unchanged counter costs no read";

    m_workspace.frontmost = QStringLiteral("org.gnome.TextEditor");
    m_pasteboard.copyText(QStringLiteral("first"));
    m_pasteboard.copyText(QStringLiteral("second")); // within one tick
    monitor.poll();
    monitor.poll();
    m_workspace.frontmost.reset();
    m_pasteboard.copyText(QStringLiteral("no window in front"));
    monitor.poll();
    EXPECT_EQ(
        history(), (History {{"no window in front", "-"}, {"second", "org.gnome.TextEditor"}}));
    EXPECT_EQ(m_pasteboard.reads, 2);
}

TEST_F(ClipboardMonitorTest, RefusedChangesAreConsumed)
{
    ClipboardMonitor monitor(*m_store, m_pasteboard, m_workspace);
    bool captureEnabled = true;
    const QSet<QString> excluded {QStringLiteral("org.keepassxc.KeePassXC")};
    monitor.captureDecision = [&](const std::optional<QString> &app) {
        return captureEnabled && !(app && excluded.contains(*app));
    };

    captureEnabled = false;
    m_pasteboard.copyText(QStringLiteral("while off"));
    monitor.poll();
    captureEnabled = true;
    monitor.poll();
    EXPECT_TRUE(history().empty()) << "switching capture on again does not record the old copy";

    m_workspace.frontmost = QStringLiteral("org.keepassxc.KeePassXC");
    m_pasteboard.copyText(QStringLiteral("hunter2"));
    monitor.poll();
    m_workspace.frontmost = QStringLiteral("firefox");
    m_pasteboard.copyText(QStringLiteral("hunter2"));
    monitor.poll();

    MimeSnapshot concealed;
    concealed.set(QStringLiteral("org.nspasteboard.ConcealedType"), QByteArray());
    concealed.set(mime::kText, "secret");
    m_pasteboard.copy(concealed);
    monitor.poll();
    monitor.poll();

    EXPECT_EQ(history(), (History {{"hunter2", "firefox"}}));
    EXPECT_EQ(m_pasteboard.reads, 4);
    EXPECT_EQ(m_pasteboard.contentReads, 2) << "a refused copy is read";
}

TEST_F(ClipboardMonitorTest, PastingAPinnedEntryBackKeepsItsPin)
{
    ClipboardMonitor monitor(*m_store, m_pasteboard, m_workspace);
    auto copy = [&](const char *text) {
        m_pasteboard.copyText(QString::fromLatin1(text));
        monitor.poll();
    };
    auto paste = [&](const char *text) {
        m_pasteboard.write({{mime::kText, text}});
        monitor.poll();
    };
    auto find = [&](const char *text) {
        for (const auto &item : m_store->recentItems(10)) {
            if (item->text() == QLatin1String(text))
                return item;
        }
        return ClipItemPtr();
    };
    for (const char *text : {"pinned first", "pinned later", "older", "newest"})
        copy(text);
    m_store->togglePin(find("pinned first"));
    m_clock.time += 1;
    m_store->togglePin(find("pinned later")); // now first in display order

    // Scrivlet writes entries back (the paste flow) and sees its own write.
    paste("pinned first");
    EXPECT_TRUE(find("pinned first")->isPinned()) << "a pasted pinned entry keeps its pin";
    paste("older");
    EXPECT_EQ(m_store->recentItems(10).at(2)->text(), QStringLiteral("older"))
        << "an unpinned one moves up";

    // Another application copying the same text replaces it, as any copy does.
    copy("pinned first");
    EXPECT_FALSE(find("pinned first")->isPinned());
}

TEST_F(ClipboardMonitorTest, WhatLeavesWithItsOwnerIsPutBackIfItWasRecorded)
{
    struct Case
    {
        const char *what;
        std::function<void(ClipboardMonitor &)> copy;
        const char *restored; // none: the clipboard stays empty
    };
    const auto copyText = [this](const char *text) {
        return [this, text](ClipboardMonitor &monitor) {
            m_pasteboard.copyText(QString::fromUtf8(text));
            monitor.poll();
        };
    };
    const Case cases[] = {
        {"a recorded copy", copyText("gardé"), "gardé"},
        {"a secret",
            [this](ClipboardMonitor &monitor) {
                MimeSnapshot secret;
                secret.set(mime::kText, "hunter2");
                secret.set(mime::kPasswordManagerHint, "secret");
                m_pasteboard.copy(std::move(secret));
                monitor.poll();
            },
            nullptr},
        {"capture off",
            [this](ClipboardMonitor &monitor) {
                monitor.captureDecision = [](const std::optional<QString> &) { return false; };
                m_pasteboard.copyText(QStringLiteral("pas gardé"));
                monitor.poll();
            },
            nullptr},
        {"a later copy that could not be read",
            [this, copyText](ClipboardMonitor &monitor) {
                copyText("avant")(monitor);
                MimeSnapshot unreadable;
                unreadable.offer(mime::kText); // the owner never delivers it
                m_pasteboard.copy(std::move(unreadable));
                monitor.poll();
            },
            nullptr},
        {"a later copy refused",
            [this, copyText](ClipboardMonitor &monitor) {
                copyText("avant")(monitor);
                monitor.captureDecision = [](const std::optional<QString> &) { return false; };
                copyText("exclu")(monitor);
            },
            nullptr},
        {"deleted meanwhile",
            [this](ClipboardMonitor &monitor) {
                m_pasteboard.copyText(QStringLiteral("effacé"));
                monitor.poll();
                m_store->deleteItem(m_store->recentItems(1).front());
            },
            nullptr},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.what);
        ClipboardMonitor monitor(*m_store, m_pasteboard, m_workspace);
        std::vector<QString> restored;
        monitor.restore = [&](const ClipItemPtr &item) {
            restored.push_back(item->text());
            m_pasteboard.write({{mime::kText, item->text().toUtf8()}});
        };
        test.copy(monitor);
        std::optional<bool> kept;
        monitor.keepCurrentCopy([&](bool answer) { kept = answer; });
        EXPECT_EQ(kept, test.restored != nullptr) << "what a quitting program is told";
        const History before = history();
        m_pasteboard.ownerLeaves();
        monitor.poll();
        monitor.poll(); // Scrivlet's own re-offer, seen as a change
        if (test.restored) {
            EXPECT_EQ(restored, std::vector<QString> {QString::fromUtf8(test.restored)});
            EXPECT_EQ(m_pasteboard.contents.string(mime::kText), QString::fromUtf8(test.restored));
        } else {
            EXPECT_TRUE(restored.empty());
        }
        EXPECT_EQ(history(), before) << "the re-offer is no new record";
        // Only once: the next owner to leave has nothing of ours to restore.
        m_pasteboard.ownerLeaves();
        monitor.poll();
        EXPECT_LE(restored.size(), 1u);
    }
}

TEST_F(ClipboardMonitorTest, AClipboardEmptiedOnPurposeStaysEmpty)
{
    ClipboardMonitor monitor(*m_store, m_pasteboard, m_workspace);
    int restored = 0;
    monitor.restore = [&](const ClipItemPtr &) { ++restored; };
    m_pasteboard.copyText(QStringLiteral("mot de passe affiché"));
    monitor.poll();
    m_pasteboard.clear();
    monitor.poll();
    EXPECT_EQ(restored, 0);
    // Nor later, when whatever comes next leaves.
    m_pasteboard.ownerLeaves();
    monitor.poll();
    EXPECT_EQ(restored, 0);
}

} // namespace
} // namespace scrivlet
