// SPDX-License-Identifier: GPL-3.0-or-later
// Capture against a real X server: other processes own the clipboard, the
// monitor notices, reads and records through the real store.
#include "X11Clients.h"
#include "core/capture/ClipboardMonitor.h"
#include "core/desktop/DesktopEntries.h"
#include "platform/x11/X11ClipboardReader.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11Workspace.h"
#include "support/TestHistory.h"

#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <functional>
#include <gtest/gtest.h>
#include <list>

namespace scrivlet {
namespace {

using testing::Probe;
using testing::waitFor;

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return path;
}

class CaptureTest : public ::testing::Test
{
protected:
    // An installed application whose windows are of class WriterClass.
    CaptureTest()
    {
        writeFile(m_history.folder() + "/applications/org.example.Writer.desktop",
            "[Desktop Entry]\nType=Application\nName=Writer\nExec=writer\n"
            "StartupWMClass=WriterClass\n");
    }

    // Made at first use: what is on the clipboard then is never recorded.
    ClipboardMonitor &monitor()
    {
        if (!m_monitor) {
            m_monitor.emplace(m_history.store(), m_pasteboard, m_workspace,
                [this](const std::optional<QString> &app) {
                    return m_captureEnabled && !(app && m_excluded.contains(*app));
                });
        }
        return *m_monitor;
    }

    // Runs what changes the clipboard, a second after the last change, and
    // waits until the pasteboard has seen it.
    void change(const std::function<void()> &action)
    {
        const qint64 before = m_pasteboard.changeCount();
        m_history.clock.time += 1;
        action();
        EXPECT_TRUE(waitFor([&] { return m_pasteboard.changeCount() != before; }));
    }

    // Another application copies: a window of `windowClass` takes the focus
    // and owns the clipboard with these formats.
    void copyFrom(const QString &windowClass, const QStringList &formats)
    {
        own(CLIP_OWNER, QStringList {"--class", windowClass} + formats, "ready");
    }
    Probe &copyFromHostile(const QStringList &arguments)
    {
        return own(HOSTILE_OWNER, arguments, "owning");
    }
    Probe &own(const char *program, const QStringList &arguments, const QByteArray &ready)
    {
        change([&] {
            EXPECT_TRUE(m_owners.emplace_back(program, arguments).says(ready))
                << m_owners.back().errors();
        });
        return m_owners.back();
    }
    void copyWithXclip(const QByteArray &text)
    {
        change([&] { EXPECT_TRUE(testing::copyWithXclip(text)); });
    }

    // Waits until the monitor has dealt with every change so far.
    void caughtUp()
    {
        bool answered = false;
        monitor().keepCurrentCopy([&](bool) { answered = true; });
        ASSERT_TRUE(waitFor([&] { return answered; }));
    }

    std::vector<ClipItemPtr> history() { return m_history.store().recentItems(100); }
    ::testing::AssertionResult historyReaches(std::size_t size)
    {
        if (waitFor([&] { return history().size() >= size; }) && history().size() == size)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << history().size() << " entries";
    }

    testing::TestHistory m_history;
    DesktopEntries m_entries {{m_history.folder() + "/applications"}};
    X11Workspace m_workspace {testing::x11Connection(), m_entries};
    // The reader Scrivlet uses: off the main thread, over its own connection.
    X11ClipboardReader m_reader;
    X11Pasteboard m_pasteboard {&m_reader};
    std::list<Probe> m_owners;
    std::optional<ClipboardMonitor> m_monitor;
    bool m_captureEnabled = true;
    QSet<QString> m_excluded;
};

TEST_F(CaptureTest, EveryKindIsRecordedWithItsSourceApplication)
{
    copyFrom("Earlier", {"text/plain=there before the start"});
    monitor().start();
    caughtUp();
    EXPECT_TRUE(history().empty()) << "what was there before the start is never recorded";

    QImage image(7, 5, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    const QByteArray pngBytes = testing::encoded(image, "png");
    const struct
    {
        QString windowClass;
        QStringList formats;
        ClipKind kind;
        QString text, app;
        QByteArray data; // the RTF or the image
    } copies[] = {
        {"WriterClass", {"text/rtf={\\rtf1 bold}", "text/plain=bold"}, ClipKind::richText, "bold",
            "org.example.Writer", "{\\rtf1 bold}"},
        // No desktop entry: the name the window gives.
        {"Painter",
            {"image/png=@" + writeFile(m_history.folder() + "/copied.png", pngBytes),
                "text/plain=caption"},
            ClipKind::image, QString(), "Painter", pngBytes},
        {"Files",
            {"text/uri-list=file:///tmp/a.txt\r\nfile:///tmp/b%20c.txt\r\n", "text/plain=a.txt"},
            ClipKind::file, "/tmp/a.txt\n/tmp/b c.txt", "Files", {}},
    };
    std::size_t recorded = 0;
    for (const auto &copy : copies) {
        SCOPED_TRACE(copy.windowClass.toStdString());
        copyFrom(copy.windowClass, copy.formats);
        ASSERT_TRUE(historyReaches(++recorded));
        const ClipItemPtr item = history().front();
        EXPECT_EQ(item->kind(), copy.kind);
        EXPECT_EQ(item->sourceAppBundleID(), copy.app);
        EXPECT_EQ(item->text(), copy.text);
        const QByteArray data = copy.kind == ClipKind::image
            ? m_history.store().imageStore().read(*item->imageFileRef()).value_or(QByteArray())
            : item->richData().value_or(QByteArray());
        EXPECT_EQ(data, copy.data);
    }
    copyWithXclip("copied by xclip");
    ASSERT_TRUE(historyReaches(4));
    EXPECT_EQ(history().front()->kind(), ClipKind::text);
    EXPECT_EQ(history().front()->text(), "copied by xclip");
}

TEST_F(CaptureTest, SecretsOffSwitchAndExclusionsKeepCopiesOut)
{
    monitor().start();
    copyFrom("PasswordManager", {"x-kde-passwordManagerHint=secret", "text/plain=hunter2"});
    caughtUp();
    EXPECT_TRUE(history().empty()) << "a secret-hinted copy";

    m_captureEnabled = false;
    Probe &unread = copyFromHostile({"while capture is off", "--tell"});
    caughtUp();
    m_captureEnabled = true;
    caughtUp();
    EXPECT_TRUE(history().empty()) << "capture off consumes the change";

    m_excluded.insert("Excluded");
    copyFrom("Excluded", {"text/plain=same text"});
    caughtUp();
    EXPECT_TRUE(history().empty()) << "an excluded application";
    copyFrom("Allowed", {"text/plain=same text"});
    ASSERT_TRUE(historyReaches(1));
    EXPECT_EQ(history().front()->sourceAppBundleID(), "Allowed");
    EXPECT_FALSE(unread.lines().join(' ').contains("asked")) << "a copy not to record was read";
}

TEST_F(CaptureTest, NoPlaintextReachesTheDisk)
{
    monitor().start();
    // Short enough that the PNG writer keeps its text chunk uncompressed.
    const QByteArray unique = "unique-" + QUuid::createUuid().toByteArray(QUuid::Id128).left(12);
    copyWithXclip(unique);
    ASSERT_TRUE(historyReaches(1));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setText("Comment", QString::fromLatin1(unique));
    QTemporaryDir elsewhere;
    const QByteArray pngBytes = testing::encoded(image, "png");
    ASSERT_TRUE(pngBytes.contains(unique));
    copyFrom("Painter", {"image/png=@" + writeFile(elsewhere.path() + "/unique.png", pngBytes)});
    ASSERT_TRUE(historyReaches(2));

    QDirIterator files(
        m_history.folder(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    int looked = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.fileName().contains(QLatin1String("history.sqlite"))
            && !file.fileName().contains(QLatin1String("/images/")))
            continue;
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains(unique)) << file.fileName().toStdString();
        ++looked;
    }
    EXPECT_GE(looked, 3) << "the database, its write-ahead log and the image";
}

TEST_F(CaptureTest, ACopyWhoseOwnerQuitsIsPutBackAClipboardEmptiedOnPurposeIsNot)
{
    monitor().start();
    std::vector<QString> restored;
    QObject::connect(&monitor(), &ClipboardMonitor::ownerLeft, [&](const ClipItemPtr &item) {
        restored.push_back(item->text());
        m_pasteboard.write({{mime::kText, item->text().toUtf8()}});
    });

    Probe &quitting = copyFromHostile({"gardé"});
    ASSERT_TRUE(historyReaches(1));
    quitting.stop();
    ASSERT_TRUE(waitFor([&] { return !restored.empty(); }));
    EXPECT_EQ(restored, std::vector<QString> {"gardé"});
    ASSERT_TRUE(waitFor([&] { return QGuiApplication::clipboard()->ownsClipboard(); }));

    Probe &clearing = copyFromHostile({"effacé exprès", "--clear-after", "800"});
    ASSERT_TRUE(historyReaches(2));
    change([&] { EXPECT_TRUE(clearing.says("cleared")); });
    caughtUp();
    EXPECT_EQ(restored.size(), 1u) << "a deliberate clear was undone";
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());

    // After a copy that could not be read, nothing older comes back.
    copyFromHostile({"avant"});
    ASSERT_TRUE(historyReaches(3));
    Probe &unreadable = copyFromHostile({"x", "--mute"});
    caughtUp();
    change([&] { unreadable.stop(); });
    caughtUp();
    EXPECT_EQ(restored.size(), 1u) << "an older copy was put back";
    EXPECT_EQ(history().size(), 3u);
}

TEST_F(CaptureTest, OurOwnPasteIsKnownAsOursWhateverTheTiming)
{
    monitor();
    const auto copied = [&](std::size_t size) {
        monitor().poll();
        return historyReaches(size);
    };
    // Two copies between two looks: only the later is recorded.
    copyWithXclip("remplacé aussitôt");
    copyFrom("Writer", {"text/plain=épinglé"});
    ASSERT_TRUE(copied(1));
    ASSERT_EQ(history().front()->text(), "épinglé");
    m_history.store().togglePin(history().front());
    // Pinned after it, so first: a copy equal to the first entry changes nothing.
    copyFrom("Writer", {"text/plain=premier"});
    ASSERT_TRUE(copied(2));
    m_history.store().togglePin(history().at(1));
    ASSERT_EQ(history().front()->text(), "premier");

    // A copy whose RTF never comes holds the reader for its deadline; the
    // next copy waits behind it, and by the time it is read we have pasted.
    copyFromHostile({"lent", "--mute-type", mime::kRtf});
    monitor().poll();
    copyWithXclip("rapide");
    monitor().poll();
    m_pasteboard.write({{mime::kText, QByteArray("épinglé")}});
    monitor().poll();
    caughtUp();
    ASSERT_FALSE(history().empty());
    for (const ClipItemPtr &item : history()) {
        EXPECT_TRUE(item->isPinned() || item->text() != "épinglé")
            << "our paste was taken for another application's copy";
    }
}

} // namespace
} // namespace scrivlet
