// SPDX-License-Identifier: GPL-3.0-or-later
// Paste against a real X server: entries go back on the CLIPBOARD selection
// through Qt, other processes read them, and Ctrl+V reaches another client.
#include "core/history/ClipItem.h"
#include "core/crypto/Crypto.h"
#include "core/history/ImageStore.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11KeySender.h"
#include "support/WaitFor.h"
#include "ui/Paster.h"

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace scrivlet {
namespace {

using testing::waitFor;

// Gives events already on their way time to arrive.
void settle()
{
    waitFor([] { return false; }, 1500);
}

struct XclipResult
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs xclip on the CLIPBOARD selection. This process may be the owner, and
// Qt answers other clients from the event loop, so the loop keeps turning
// while xclip runs.
XclipResult xclip(QStringList arguments, const std::optional<QByteArray> &input = std::nullopt)
{
    arguments << QStringLiteral("-selection") << QStringLiteral("clipboard");
    QProcess process;
    process.start(QStringLiteral("xclip"), arguments);
    if (input) {
        process.write(*input);
        process.closeWriteChannel();
    }
    XclipResult result;
    result.finished = waitFor([&] { return process.state() == QProcess::NotRunning; });
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// What another client gets for `target`; absent when the owner refuses it.
std::optional<QByteArray> readTarget(const QString &target)
{
    const XclipResult read = xclip({QStringLiteral("-o"), QStringLiteral("-t"), target});
    if (!read.finished || read.exitCode != 0)
        return std::nullopt;
    return read.out;
}

QStringList offeredTargets()
{
    const std::optional<QByteArray> listed = readTarget(QStringLiteral("TARGETS"));
    if (!listed)
        return {};
    QStringList targets;
    for (const QByteArray &line : listed->split('\n')) {
        if (!line.trimmed().isEmpty())
            targets.append(QString::fromUtf8(line.trimmed()));
    }
    return targets;
}

// The user copies with another program, which then owns the clipboard.
::testing::AssertionResult copyWithXclip(const QByteArray &text)
{
    const XclipResult copy = xclip({QStringLiteral("-i")}, text);
    if (!copy.finished || copy.exitCode != 0)
        return ::testing::AssertionFailure() << "xclip -i failed: " << copy.err.toStdString();
    if (!waitFor([&] { return readTarget(QStringLiteral("UTF8_STRING")) == text; }))
        return ::testing::AssertionFailure() << "xclip never served " << text.toStdString();
    return ::testing::AssertionSuccess();
}

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

// Bytes Qt would not produce again from the pixels (little compression, a
// text chunk), so that any re-encoding on the way shows.
QByteArray smallPng()
{
    QImage image(9, 6, QImage::Format_ARGB32);
    image.fill(QColor(10, 200, 30, 128));
    image.setText(QStringLiteral("Comment"), QStringLiteral("as captured"));
    return encoded(image, "png", 100);
}

// Noise does not compress: far more than one X request, so it is served in
// increments.
QByteArray largePng()
{
    QImage image(700, 700, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return encoded(image, "png");
}

QByteArray tiff()
{
    QImage image(5, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    return encoded(image, "tiff");
}

class PasteFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SecretBytes key(32);
        std::fill_n(key.data(), 32, 0x3a);
        Crypto::setShared(Crypto(key));
        m_images.emplace(m_dir.path() + QStringLiteral("/images"), Crypto::shared());
    }

    void TearDown() override { Crypto::setShared(std::nullopt); }

    ClipItemPtr entry(ClipKind kind, const QString &text,
        const std::optional<QByteArray> &rtf = std::nullopt,
        const std::optional<QString> &imageFile = std::nullopt)
    {
        ClipRecord record;
        record.id = QUuid::createUuid();
        record.kindRaw = rawValue(kind);
        record.imageFileRef = imageFile;
        ClipItemPtr item = ClipItem::create(record);
        item->setText(text);
        item->setRichData(rtf);
        return item;
    }

    ClipItemPtr imageEntry(const QByteArray &bytes, const QString &caption = QString())
    {
        const Result<QString> stored = m_images->write(bytes);
        EXPECT_TRUE(stored.ok()) << stored.error().toStdString();
        return entry(ClipKind::image, caption, std::nullopt,
            stored.ok() ? std::optional(stored.value()) : std::nullopt);
    }

    QTemporaryDir m_dir;
    std::optional<ImageStore> m_images;
    X11Pasteboard m_pasteboard;
};

enum class Image { none, smallPng, largePng, tiff };

struct WriteCase
{
    const char *name;
    ClipKind kind;
    bool plain;
    QString text;
    std::optional<QByteArray> rtf;
    Image image;
    // Targets that must be offered, with what each must deliver.
    QList<std::pair<QString, QByteArray>> served;
    // The target that must deliver the image exactly as stored.
    QString imageTarget;
    // Targets that must not be offered; "type/*" stands for a whole family.
    QStringList absent;
};

const QStringList kTextTargets {QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"),
    QStringLiteral("TEXT"), QStringLiteral("COMPOUND_TEXT"), QStringLiteral("text/*")};

const QString kUnicode = QStringLiteral("Grüße, ½ € — 日本");

std::vector<WriteCase> writeCases()
{
    const QByteArray rtf = "{\\rtf1\\ansi {\\b bold} and plain}";
    const QString files = QStringLiteral("/tmp/a b.txt\n/tmp/\u00e9t\u00e9/r\u00e9sum\u00e9.pdf");
    const QByteArray uris
        = "file:///tmp/a%20b.txt\r\nfile:///tmp/%C3%A9t%C3%A9/r%C3%A9sum%C3%A9.pdf\r\n";
    const QByteArray gnome
        = "copy\nfile:///tmp/a%20b.txt\nfile:///tmp/%C3%A9t%C3%A9/r%C3%A9sum%C3%A9.pdf";
    return {
        {"Text", ClipKind::text, false, kUnicode, std::nullopt, Image::none,
            {{QStringLiteral("UTF8_STRING"), kUnicode.toUtf8()},
                {QStringLiteral("text/plain"), kUnicode.toUtf8()}},
            {}, {QStringLiteral("text/rtf"), QStringLiteral("image/*")}},
        {"RichText", ClipKind::richText, false, QStringLiteral("bold and plain"), rtf, Image::none,
            {{QStringLiteral("text/rtf"), rtf},
                {QStringLiteral("UTF8_STRING"), QByteArray("bold and plain")}},
            {}, {QStringLiteral("image/*")}},
        {"RichTextPlainly", ClipKind::richText, true, QStringLiteral("bold and plain"), rtf,
            Image::none, {{QStringLiteral("UTF8_STRING"), QByteArray("bold and plain")}}, {},
            {QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                QStringLiteral("image/*")}},
        {"SmallPng", ClipKind::image, false, QString(), std::nullopt, Image::smallPng, {},
            QStringLiteral("image/png"), kTextTargets},
        {"LargePngInIncrements", ClipKind::image, false, QString(), std::nullopt, Image::largePng,
            {}, QStringLiteral("image/png"), kTextTargets},
        {"Tiff", ClipKind::image, false, QString(), std::nullopt, Image::tiff, {},
            QStringLiteral("image/tiff"), kTextTargets + QStringList {QStringLiteral("image/png")}},
        // No formatting to drop: pasted plain, an image is still the image.
        {"ImagePlainly", ClipKind::image, true, QString(), std::nullopt, Image::smallPng, {},
            QStringLiteral("image/png"), kTextTargets},
        {"FileList", ClipKind::file, false, files, std::nullopt, Image::none,
            {{QStringLiteral("text/uri-list"), uris},
                {QStringLiteral("x-special/gnome-copied-files"), gnome}},
            {}, {QStringLiteral("image/*"), QStringLiteral("text/rtf")}},
        {"FileListPlainly", ClipKind::file, true, files, std::nullopt, Image::none,
            {{QStringLiteral("UTF8_STRING"), files.toUtf8()}}, {},
            {QStringLiteral("text/uri-list"), QStringLiteral("x-special/gnome-copied-files")}},
    };
}

// Failures name the case rather than dump its bytes.
void PrintTo(const WriteCase &c, std::ostream *os)
{
    *os << c.name;
}

class PasteWriteTest : public PasteFixture, public ::testing::WithParamInterface<WriteCase>
{ };

TEST_P(PasteWriteTest, OtherClientsGetTheTargetsThatMatter)
{
    const WriteCase &c = GetParam();
    QByteArray imageBytes;
    switch (c.image) {
    case Image::none:
        break;
    case Image::smallPng:
        imageBytes = smallPng();
        break;
    case Image::largePng:
        imageBytes = largePng();
        break;
    case Image::tiff:
        if (!QImageWriter::supportedImageFormats().contains("tiff"))
            GTEST_SKIP() << "no TIFF plugin";
        imageBytes = tiff();
        break;
    }
    const ClipItemPtr item
        = c.image == Image::none ? entry(c.kind, c.text, c.rtf) : imageEntry(imageBytes, c.text);
    ASSERT_TRUE(Paster::writeItem(*item, c.plain, *m_images, m_pasteboard));

    const QStringList targets = offeredTargets();
    ASSERT_FALSE(targets.isEmpty()) << "nothing offered";
    const std::string listed = targets.join(QLatin1Char(' ')).toStdString();
    RecordProperty("targets", listed);
    for (const auto &[target, bytes] : c.served) {
        EXPECT_TRUE(targets.contains(target)) << target.toStdString() << " in " << listed;
        EXPECT_EQ(readTarget(target), std::optional(bytes)) << target.toStdString();
    }
    if (!c.imageTarget.isEmpty()) {
        EXPECT_TRUE(targets.contains(c.imageTarget)) << listed;
        const std::optional<QByteArray> read = readTarget(c.imageTarget);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->size(), imageBytes.size());
        EXPECT_TRUE(*read == imageBytes) << "the image is served as stored, never re-encoded";
    }
    for (const QString &forbidden : c.absent) {
        const bool family = forbidden.endsWith(QLatin1String("/*"));
        const QString prefix = forbidden.chopped(1);
        for (const QString &target : targets) {
            EXPECT_FALSE(family ? target.startsWith(prefix) : target == forbidden)
                << target.toStdString() << " offered; all: " << listed;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EachKind, PasteWriteTest, ::testing::ValuesIn(writeCases()),
    [](const ::testing::TestParamInfo<WriteCase> &info) { return std::string(info.param.name); });

TEST_F(PasteFixture, AnEntryWithNothingToOfferLeavesTheUsersClipboard)
{
    const struct
    {
        const char *name;
        ClipItemPtr item;
    } cases[] = {
        {"missing image file",
            entry(ClipKind::image, QString(), std::nullopt,
                QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
                    + QStringLiteral(".png"))},
        {"bytes that are no image", imageEntry("certainly not an image")},
        {"image entry without a file", entry(ClipKind::image, QStringLiteral("caption"))},
        {"file entry without paths", entry(ClipKind::file, QStringLiteral("\n\n"))},
    };
    int copy = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray users = "the user's own copy " + QByteArray::number(++copy);
        ASSERT_TRUE(copyWithXclip(users));
        EXPECT_FALSE(Paster::writeItem(*c.item, false, *m_images, m_pasteboard));
        settle();
        EXPECT_EQ(readTarget(QStringLiteral("UTF8_STRING")), std::optional(users));
    }
    // Takes the clipboard back, which also lets the last xclip go.
    ASSERT_TRUE(Paster::writeItem(
        *entry(ClipKind::text, QStringLiteral("ours")), false, *m_images, m_pasteboard));
    EXPECT_EQ(readTarget(QStringLiteral("UTF8_STRING")), std::optional(QByteArray("ours")));
}

TEST_F(PasteFixture, TheClipboardStaysServedAndEachWriteReplacesTheLast)
{
    const QByteArray rtf = "{\\rtf1 kept}";
    ASSERT_TRUE(Paster::writeItem(
        *entry(ClipKind::richText, QStringLiteral("kept"), rtf), false, *m_images, m_pasteboard));
    for (int reader = 0; reader < 2; ++reader) {
        SCOPED_TRACE(reader == 0 ? "first reader" : "later reader");
        EXPECT_EQ(readTarget(QStringLiteral("text/rtf")), std::optional(rtf));
        EXPECT_EQ(readTarget(QStringLiteral("UTF8_STRING")), std::optional(QByteArray("kept")));
        settle();
    }

    ASSERT_TRUE(Paster::writeItem(
        *entry(ClipKind::text, QStringLiteral("next")), false, *m_images, m_pasteboard));
    EXPECT_FALSE(offeredTargets().contains(QStringLiteral("text/rtf")))
        << "the previous entry's formatting is gone";
    // Qt answers a target it does not offer with nothing rather than a refusal.
    EXPECT_EQ(readTarget(QStringLiteral("text/rtf")).value_or(QByteArray()), QByteArray());
    EXPECT_EQ(readTarget(QStringLiteral("UTF8_STRING")), std::optional(QByteArray("next")));
}

// Sets an environment variable for one scope, and puts back what was there.
class EnvironmentOverride
{
public:
    EnvironmentOverride(const char *name, const QByteArray &value)
        : m_name(name)
        , m_previous(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        qputenv(name, value);
    }
    ~EnvironmentOverride()
    {
        if (m_previous)
            qputenv(m_name, *m_previous);
        else
            qunsetenv(m_name);
    }
    EnvironmentOverride(const EnvironmentOverride &) = delete;
    EnvironmentOverride &operator=(const EnvironmentOverride &) = delete;

private:
    const char *m_name;
    std::optional<QByteArray> m_previous;
};

class KeystrokeTest : public PasteFixture
{
protected:
    void SetUp() override
    {
        PasteFixture::SetUp();
        ASSERT_FALSE(X11KeySender::isWaylandSession()) << "the session must be plain X11";
        auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        ASSERT_NE(x11, nullptr) << "needs the xcb platform";
        m_keys.emplace(x11->connection());
        m_recorder.start(QStringLiteral(KEY_RECORDER), QStringList());
        ASSERT_TRUE(waitFor([&] {
            collect();
            return m_lines.contains(QStringLiteral("ready"))
                || m_recorder.state() == QProcess::NotRunning;
        })) << "the recorder never got the focus";
        ASSERT_TRUE(m_lines.contains(QStringLiteral("ready")))
            << m_recorder.readAllStandardError().toStdString();
    }

    void TearDown() override
    {
        m_recorder.kill();
        m_recorder.waitForFinished();
        PasteFixture::TearDown();
    }

    void collect()
    {
        while (m_recorder.canReadLine())
            m_lines.append(QString::fromUtf8(m_recorder.readLine()).trimmed());
    }

    qsizetype seen(const QString &line)
    {
        collect();
        return m_lines.count(line);
    }

    void put(const QString &text)
    {
        ASSERT_TRUE(
            Paster::writeItem(*entry(ClipKind::text, text), false, *m_images, m_pasteboard));
    }

    std::optional<X11KeySender> m_keys;
    QProcess m_recorder;
    QStringList m_lines;
};

const QString kCtrlV = QStringLiteral("key V ctrl");

TEST_F(KeystrokeTest, CtrlVReachesTheClientInFrontWhichPastesTheEntry)
{
    const QString text = QStringLiteral("pasted by Scrivlet ") + kUnicode;
    put(text);
    ASSERT_TRUE(m_keys->isTrusted()) << "XTEST is there under Xvfb";
    Paster::simulatePasteKeystroke(*m_keys);
    ASSERT_TRUE(waitFor([&] { return seen(QStringLiteral("pasted ") + text) == 1; }))
        << m_lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(seen(kCtrlV), 1);
}

TEST_F(KeystrokeTest, NoKeystrokeIsPostedInAWaylandSession)
{
    put(QStringLiteral("never pasted"));
    for (const auto &[variable, value] :
        {std::pair {"WAYLAND_DISPLAY", "wayland-0"}, std::pair {"XDG_SESSION_TYPE", "wayland"}}) {
        SCOPED_TRACE(variable);
        const EnvironmentOverride wayland(variable, value);
        EXPECT_FALSE(m_keys->isTrusted());
        Paster::simulatePasteKeystroke(*m_keys);
    }
    settle();
    EXPECT_EQ(seen(kCtrlV), 0) << m_lines.join(QLatin1Char('|')).toStdString();

    // Back in X11 the same call posts: anything late from above would show
    // here as a second Ctrl+V.
    put(QStringLiteral("pasted after"));
    ASSERT_TRUE(m_keys->isTrusted());
    Paster::simulatePasteKeystroke(*m_keys);
    ASSERT_TRUE(waitFor([&] { return seen(QStringLiteral("pasted pasted after")) == 1; }));
    settle();
    EXPECT_EQ(seen(kCtrlV), 1) << m_lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(seen(QStringLiteral("pasted never pasted")), 0);
}

} // namespace
} // namespace scrivlet
