// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/history/ImageStore.h"

#include "support/TestKeys.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace scrivlet {
namespace {

void writeFile(const QString &path, const QByteArray &bytes, double ageSeconds = 0)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.flush(); // or closing would write, and set the time, afterwards
    file.setFileTime(QDateTime::currentDateTime().addSecs(-qint64(ageSeconds)),
        QFileDevice::FileModificationTime);
}

class ImageStoreTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    QString folder() const { return m_dir.path() + QStringLiteral("/Scrivlet/images"); }
    ImageStore store(unsigned char key = 1) const
    {
        return ImageStore(folder(), Crypto(testing::testKey(key)));
    }
};

TEST_F(ImageStoreTest, WritesSealedPrivateFilesUnderFreshNames)
{
    const QByteArray png("\x89PNG\r\n\x1a\n fake", 14);
    const auto first = store().write(png);
    const auto second = store().write(png);
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_NE(first.value(), second.value());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.png$"))
            .match(first.value())
            .hasMatch())
        << first.value().toStdString();

    QFile file(folder() + QLatin1Char('/') + first.value());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray onDisk = file.readAll();
    EXPECT_EQ(onDisk.size(), png.size() + 28);
    EXPECT_FALSE(onDisk.contains("PNG"));
    EXPECT_EQ(store().read(first.value()), png);
    struct stat info
    { };
    ::stat(QFile::encodeName(folder()).constData(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "no temporary left";
}

TEST_F(ImageStoreTest, ReadFallsBackToTheRawBytesAndRefusesForeignNames)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    writeFile(folder() + QStringLiteral("/PLAIN.png"), "unsealed image");
    const auto sealedElsewhere = store(2).write("other key");
    ASSERT_TRUE(sealedElsewhere.ok());
    writeFile(m_dir.path() + QStringLiteral("/Scrivlet/outside.png"), "outside");

    EXPECT_EQ(store().read(QStringLiteral("PLAIN.png")), QByteArray("unsealed image"));
    const auto foreign = store().read(sealedElsewhere.value());
    ASSERT_TRUE(foreign.has_value());
    EXPECT_EQ(foreign->size(), 9 + 28) << "handed on sealed, which is no image";
    EXPECT_FALSE(store().read(QStringLiteral("MISSING.png")).has_value());
    for (const char *name : {"../outside.png", "..", "", "a/../../outside.png"})
        EXPECT_FALSE(store().read(QString::fromLatin1(name)).has_value()) << name;
    store().deleteFile(QStringLiteral("../outside.png"));
    EXPECT_TRUE(QFile::exists(m_dir.path() + QStringLiteral("/Scrivlet/outside.png")));
    store().deleteFile(QStringLiteral("MISSING.png")); // nothing to do, nothing to report
}

TEST_F(ImageStoreTest, WithoutACipherNothingIsWritten)
{
    EXPECT_FALSE(ImageStore(folder(), std::nullopt).write("image").ok());
    EXPECT_FALSE(ImageStore(folder(), Crypto(SecretBytes(20))).write("image").ok());
    EXPECT_TRUE(QDir(folder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ImageStoreTest, SweepRemovesLeftoversButSparesNamedAndYoungFiles)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    // (name, age, named by a record, key it is sealed under, survives)
    const std::tuple<const char *, double, bool, unsigned char, bool> files[] = {
        {"NAMED.png", 3600, true, 1, true},
        {"UNNAMED.png", 3600, false, 1, false},
        {"YOUNG.png", 1, false, 1, true},
        {".ABC.png.tmp", 3600, false, 1, false},
        {"notes.txt", 3600, false, 1, true}, // not ours
        // A history set aside halfway leaves its images here, under its key.
        {"SETASIDE.png", 3600, false, 2, true},
    };
    QSet<QString> named;
    for (const auto &[name, age, isNamed, key, survives] : files) {
        writeFile(
            folder() + '/' + QLatin1String(name), Crypto(testing::testKey(key)).seal("x"), age);
        if (isNamed)
            named.insert(QLatin1String(name));
    }
    store().sweep(named, now, 60);
    for (const auto &[name, age, isNamed, key, survives] : files)
        EXPECT_EQ(QFile::exists(folder() + '/' + QLatin1String(name)), survives) << name;
}

} // namespace
} // namespace scrivlet
