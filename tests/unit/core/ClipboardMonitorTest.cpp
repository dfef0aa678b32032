// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ClipboardMonitor.h"

#include "core/ClipStore.h"
#include "core/Crypto.h"
#include "core/ModelContainer.h"
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
    std::vector<std::optional<QString>> asked;
    monitor.captureDecision = [&](const std::optional<QString> &app) {
        asked.push_back(app);
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
    EXPECT_EQ(asked.size(), 3u) << "private contents never reach the decision";
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

} // namespace
} // namespace scrivlet
