// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AppIconCache.h"

#include "core/desktop/DesktopEntries.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

TEST(AppIconCache, KeepsIconsAndMissesUntilToldToLookAgain)
{
    QTemporaryDir dir;
    const QString applications = dir.path() + QStringLiteral("/applications");
    QDir().mkpath(applications);
    const QString iconPath = dir.path() + QStringLiteral("/writer.png");
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(iconPath));
    auto install = [&](const QString &id, const QString &icon) {
        QFile entry(applications + QLatin1Char('/') + id + QStringLiteral(".desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=App\nIcon=" + icon.toUtf8() + "\n");
    };
    install(QStringLiteral("org.example.Writer"), iconPath);
    install(QStringLiteral("org.example.Broken"), dir.path() + QStringLiteral("/missing.png"));

    DesktopEntries entries({applications});
    AppIconCache cache(entries);
    EXPECT_FALSE(cache.icon(std::nullopt).has_value());
    EXPECT_FALSE(cache.icon(QString()).has_value());
    EXPECT_FALSE(cache.icon(QStringLiteral("org.example.Broken")).has_value());
    const auto writer = cache.icon(QStringLiteral("org.example.Writer"));
    ASSERT_TRUE(writer.has_value());
    EXPECT_FALSE(writer->pixmap(16).isNull());

    // Kept once found: removing the application changes nothing for this run.
    QFile::remove(applications + QStringLiteral("/org.example.Writer.desktop"));
    EXPECT_TRUE(cache.icon(QStringLiteral("org.example.Writer")).has_value());

    // A miss is kept too: every row drawn asks, and the applications are
    // not listed again for it. Told to look again, it finds one installed
    // meanwhile.
    EXPECT_FALSE(cache.icon(QStringLiteral("org.example.Later")).has_value());
    install(QStringLiteral("org.example.Later"), iconPath);
    install(QStringLiteral("org.example.Broken"), iconPath);
    EXPECT_FALSE(cache.icon(QStringLiteral("org.example.Later")).has_value());
    EXPECT_FALSE(cache.icon(QStringLiteral("org.example.Broken")).has_value());
    cache.forgetMisses();
    EXPECT_TRUE(cache.icon(QStringLiteral("org.example.Later")).has_value());
    EXPECT_TRUE(cache.icon(QStringLiteral("org.example.Broken")).has_value());
}

} // namespace
} // namespace scrivlet
