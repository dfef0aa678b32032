// SPDX-License-Identifier: GPL-3.0-or-later
// Capture against a real X server: other processes own the clipboard, the
// monitor notices, reads and records through the real store.
#include "core/history/ClipStore.h"
#include "core/capture/ClipboardMonitor.h"
#include "core/crypto/Crypto.h"
#include "core/desktop/DesktopEntries.h"
#include "core/history/ModelContainer.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11ClipboardReader.h"
#include "platform/x11/X11Workspace.h"
#include "support/WaitFor.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

namespace scrivlet {
namespace {

using testing::waitFor;

class CaptureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SecretBytes key(32);
        std::fill_n(key.data(), 32, 0x5c);
        Crypto::setShared(Crypto(key));
        m_container = std::move(ModelContainer::open(m_dir.path())).value();
        m_store = std::make_unique<ClipStore>(m_container->mainContext(),
            ImageStore(m_dir.path() + QStringLiteral("/images"), Crypto::shared()));

        // An installed application whose windows are of class WriterClass.
        const QString applications = m_dir.path() + QStringLiteral("/applications");
        QDir().mkpath(applications);
        QFile entry(applications + QStringLiteral("/org.example.Writer.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Writer\nExec=writer\n"
                    "StartupWMClass=WriterClass\n");
        entry.close();
        m_entries = std::make_unique<DesktopEntries>(QStringList {applications});
        auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        ASSERT_NE(x11, nullptr) << "needs the xcb platform";
        m_workspace = std::make_unique<X11Workspace>(x11->connection(), *m_entries);
    }

    void TearDown() override
    {
        for (QProcess *owner : m_owners) {
            owner->kill();
            owner->waitForFinished();
            delete owner;
        }
        m_monitor.reset();
        m_store.reset();
        m_container.reset();
        Crypto::setShared(std::nullopt);
    }

    void startMonitor()
    {
        m_monitor = std::make_unique<ClipboardMonitor>(*m_store, m_pasteboard, *m_workspace);
        m_monitor->captureDecision = [this](const std::optional<QString> &app) {
            return m_captureEnabled && !(app && m_excluded.contains(*app));
        };
        m_monitor->start();
    }

    // Another application copies: a window of `windowClass` takes the focus
    // and owns the clipboard with these formats.
    void copyFrom(const QString &windowClass, const QStringList &formats)
    {
        const qint64 before = m_pasteboard.changeCount();
        auto *owner = new QProcess;
        m_owners.push_back(owner);
        owner->start(QStringLiteral(CLIP_OWNER),
            QStringList {QStringLiteral("--class"), windowClass} + formats);
        ASSERT_TRUE(waitFor([&] {
            return owner->canReadLine() || owner->state() == QProcess::NotRunning;
        })) << "the owner never took the clipboard";
        ASSERT_EQ(owner->readLine().trimmed(), QByteArray("ready"))
            << owner->readAllStandardError().toStdString();
        ASSERT_TRUE(waitFor([&] { return m_pasteboard.changeCount() != before; }));
    }

    // An owner of our own tools, misbehaving as asked.
    QProcess &copyFromHostile(const QStringList &arguments)
    {
        const qint64 before = m_pasteboard.changeCount();
        auto *owner = new QProcess;
        m_owners.push_back(owner);
        owner->start(QStringLiteral(HOSTILE_OWNER), arguments);
        EXPECT_TRUE(waitFor([&] { return owner->canReadLine(); }));
        EXPECT_EQ(owner->readLine().trimmed(), QByteArray("owning"));
        EXPECT_TRUE(waitFor([&] { return m_pasteboard.changeCount() != before; }));
        return *owner;
    }

    // Waits until the monitor has dealt with every change so far.
    void caughtUp()
    {
        bool answered = false;
        m_monitor->keepCurrentCopy([&](bool) { answered = true; });
        ASSERT_TRUE(waitFor([&] { return answered; }));
    }

    void copyWithXclip(const QByteArray &text)
    {
        const qint64 before = m_pasteboard.changeCount();
        QProcess xclip;
        xclip.start(
            QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard")});
        xclip.write(text);
        xclip.closeWriteChannel();
        // xclip forks to keep serving; the parent returns at once.
        ASSERT_TRUE(xclip.waitForFinished(10000));
        ASSERT_TRUE(waitFor([&] { return m_pasteboard.changeCount() != before; }));
    }

    // Lets the monitor see the latest change: at least two ticks.
    void settle()
    {
        waitFor([] { return false; }, 3 * ClipboardMonitor::kPollMilliseconds);
    }

    std::vector<ClipItemPtr> history() { return m_store->recentItems(100); }

    QTemporaryDir m_dir;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<DesktopEntries> m_entries;
    std::unique_ptr<X11Workspace> m_workspace;
    // The reader Scrivlet uses: off the main thread, over its own connection.
    X11ClipboardReader m_reader;
    X11Pasteboard m_pasteboard {&m_reader};
    std::unique_ptr<ClipboardMonitor> m_monitor;
    std::vector<QProcess *> m_owners;
    bool m_captureEnabled = true;
    QSet<QString> m_excluded;
};

TEST_F(CaptureTest, EveryKindIsRecordedWithItsSourceApplication)
{
    copyFrom(QStringLiteral("Earlier"), {QStringLiteral("text/plain=there before the start")});
    startMonitor();
    settle();
    EXPECT_TRUE(history().empty()) << "what was there before the start is never recorded";

    copyFrom(QStringLiteral("WriterClass"),
        {QStringLiteral("text/rtf={\\rtf1 bold}"), QStringLiteral("text/plain=bold")});
    ASSERT_TRUE(waitFor([&] { return history().size() == 1; }));
    ClipItemPtr rich = history().front();
    EXPECT_EQ(rich->kind(), ClipKind::richText);
    EXPECT_EQ(rich->text(), QStringLiteral("bold"));
    EXPECT_EQ(rich->richData().value_or(QByteArray()), QByteArray("{\\rtf1 bold}"));
    EXPECT_EQ(rich->sourceAppBundleID(), QStringLiteral("org.example.Writer"));

    QImage image(7, 5, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    const QString pngPath = m_dir.path() + QStringLiteral("/copied.png");
    ASSERT_TRUE(image.save(pngPath, "PNG"));
    QFile png(pngPath);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray pngBytes = png.readAll();
    copyFrom(QStringLiteral("Painter"),
        {QStringLiteral("image/png=@") + pngPath, QStringLiteral("text/plain=caption")});
    ASSERT_TRUE(waitFor([&] { return history().size() == 2; }));
    ClipItemPtr picture = history().front();
    EXPECT_EQ(picture->kind(), ClipKind::image);
    EXPECT_EQ(picture->sourceAppBundleID(), QStringLiteral("Painter"))
        << "no desktop entry: the class";
    EXPECT_EQ(m_store->imageStore().read(*picture->imageFileRef()), pngBytes);

    copyFrom(QStringLiteral("Files"),
        {QStringLiteral("text/uri-list=file:///tmp/a.txt\r\nfile:///tmp/b%20c.txt\r\n"),
            QStringLiteral("text/plain=a.txt")});
    ASSERT_TRUE(waitFor([&] { return history().size() == 3; }));
    EXPECT_EQ(history().front()->kind(), ClipKind::file);
    EXPECT_EQ(history().front()->text(), QStringLiteral("/tmp/a.txt\n/tmp/b c.txt"));

    copyWithXclip("copied by xclip");
    ASSERT_TRUE(waitFor([&] { return history().size() == 4; }));
    EXPECT_EQ(history().front()->kind(), ClipKind::text);
    EXPECT_EQ(history().front()->text(), QStringLiteral("copied by xclip"));
}

TEST_F(CaptureTest, SecretsOffSwitchAndExclusionsKeepCopiesOut)
{
    startMonitor();
    copyFrom(QStringLiteral("PasswordManager"),
        {QStringLiteral("x-kde-passwordManagerHint=secret"), QStringLiteral("text/plain=hunter2")});
    settle();
    EXPECT_TRUE(history().empty()) << "a secret-hinted copy";

    m_captureEnabled = false;
    copyWithXclip("while capture is off");
    settle();
    m_captureEnabled = true;
    settle();
    EXPECT_TRUE(history().empty()) << "capture off consumes the change";

    m_excluded.insert(QStringLiteral("Excluded"));
    copyFrom(QStringLiteral("Excluded"), {QStringLiteral("text/plain=same text")});
    settle();
    EXPECT_TRUE(history().empty()) << "an excluded application";
    copyFrom(QStringLiteral("Allowed"), {QStringLiteral("text/plain=same text")});
    ASSERT_TRUE(waitFor([&] { return history().size() == 1; }));
    EXPECT_EQ(history().front()->sourceAppBundleID(), QStringLiteral("Allowed"));
}

TEST_F(CaptureTest, TwoCopiesInsideOneTickGiveOneRecord)
{
    m_monitor = std::make_unique<ClipboardMonitor>(*m_store, m_pasteboard, *m_workspace);
    copyWithXclip("first of two");
    copyWithXclip("second of two");
    m_monitor->poll();
    // Read off the main thread: the record comes a moment later, and alone.
    ASSERT_TRUE(waitFor([&] { return !history().empty(); }));
    settle();
    ASSERT_EQ(history().size(), 1u);
    EXPECT_EQ(history().front()->text(), QStringLiteral("second of two"));
}

TEST_F(CaptureTest, NoPlaintextReachesTheDisk)
{
    startMonitor();
    // Short enough that the PNG writer keeps its text chunk uncompressed.
    const QByteArray unique = "unique-" + QUuid::createUuid().toByteArray(QUuid::Id128).left(12);
    copyWithXclip(unique);
    ASSERT_TRUE(waitFor([&] { return history().size() == 1; }));
    // A real PNG whose text chunk carries the same words, uncompressed.
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setText(QStringLiteral("Comment"), QString::fromLatin1(unique));
    QTemporaryDir elsewhere;
    const QString pngPath = elsewhere.path() + QStringLiteral("/unique.png");
    ASSERT_TRUE(image.save(pngPath, "PNG"));
    QFile png(pngPath);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly) && png.readAll().contains(unique));
    copyFrom(QStringLiteral("Painter"), {QStringLiteral("image/png=@") + pngPath});
    ASSERT_TRUE(waitFor([&] { return history().size() == 2; }));

    QDirIterator files(m_dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
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
    startMonitor();
    std::vector<QString> restored;
    m_monitor->restore = [&](const ClipItemPtr &item) {
        restored.push_back(item->text());
        m_pasteboard.write({{mime::kText, item->text().toUtf8()}});
    };
    const auto quit = [](QProcess &owner) {
        owner.kill();
        owner.waitForFinished();
    };

    QProcess &quitting = copyFromHostile({QStringLiteral("gardé")});
    ASSERT_TRUE(waitFor([&] { return history().size() == 1; }));
    quit(quitting);
    ASSERT_TRUE(waitFor([&] { return !restored.empty(); }));
    EXPECT_EQ(restored, std::vector<QString> {QStringLiteral("gardé")});
    ASSERT_TRUE(waitFor([&] { return QGuiApplication::clipboard()->ownsClipboard(); }));

    QProcess &clearing = copyFromHostile(
        {QStringLiteral("effacé exprès"), QStringLiteral("--clear-after"), QStringLiteral("800")});
    ASSERT_TRUE(waitFor([&] { return history().size() == 2; }));
    qint64 before = m_pasteboard.changeCount();
    ASSERT_TRUE(waitFor([&] { return clearing.readLine().trimmed() == "cleared"; }));
    ASSERT_TRUE(waitFor([&] { return m_pasteboard.changeCount() != before; }));
    caughtUp();
    EXPECT_EQ(restored.size(), 1u) << "a deliberate clear was undone";
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());

    // After a copy that could not be read, nothing older comes back.
    copyFromHostile({QStringLiteral("avant")});
    ASSERT_TRUE(waitFor([&] { return history().size() == 3; }));
    QProcess &unreadable = copyFromHostile({QStringLiteral("x"), QStringLiteral("--mute")});
    caughtUp();
    before = m_pasteboard.changeCount();
    quit(unreadable);
    ASSERT_TRUE(waitFor([&] { return m_pasteboard.changeCount() != before; }));
    caughtUp();
    EXPECT_EQ(restored.size(), 1u) << "an older copy was put back";
    EXPECT_EQ(history().size(), 3u);
}

TEST_F(CaptureTest, OurOwnPasteIsKnownAsOursWhateverTheTiming)
{
    m_monitor = std::make_unique<ClipboardMonitor>(*m_store, m_pasteboard, *m_workspace);
    copyFrom(QStringLiteral("Writer"), {QStringLiteral("text/plain=épinglé")});
    m_monitor->poll();
    ASSERT_TRUE(waitFor([&] { return history().size() == 1; }));
    m_store->togglePin(history().front());
    // Pinned after it, so first: a copy equal to the first entry changes nothing.
    copyFrom(QStringLiteral("Writer"), {QStringLiteral("text/plain=premier")});
    m_monitor->poll();
    ASSERT_TRUE(waitFor([&] { return history().size() == 2; }));
    m_store->togglePin(history().at(1));
    ASSERT_EQ(history().front()->text(), QStringLiteral("premier"));

    // A copy whose RTF never comes holds the reader for its deadline; the
    // next copy waits behind it, and by the time it is read we have pasted.
    copyFromHostile({QStringLiteral("lent"), QStringLiteral("--mute-type"), mime::kRtf});
    m_monitor->poll();
    copyWithXclip("rapide");
    m_monitor->poll();
    m_pasteboard.write({{mime::kText, QByteArray("épinglé")}});
    m_monitor->poll();
    caughtUp();
    ASSERT_FALSE(history().empty());
    for (const ClipItemPtr &item : history()) {
        if (item->text() == QStringLiteral("épinglé")) {
            EXPECT_TRUE(item->isPinned()) << "our paste was taken for another application's copy";
        }
    }
}

TEST_F(CaptureTest, ACopyThatMayNotBeRecordedIsNeverRead)
{
    startMonitor();
    m_captureEnabled = false;
    QProcess &owner = copyFromHostile({QStringLiteral("à ne pas lire"), QStringLiteral("--tell")});
    caughtUp();
    owner.kill();
    owner.waitForFinished();
    EXPECT_FALSE(owner.readAllStandardOutput().contains("asked")) << "its owner was asked";
    EXPECT_TRUE(history().empty());
}

} // namespace
} // namespace scrivlet
