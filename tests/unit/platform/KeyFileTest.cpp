// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/KeyFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace scrivlet {
namespace {

using Outcome = Keyring::Lookup::Outcome;

SecretBytes keyWithZeros()
{
    SecretBytes key(32);
    for (std::size_t i = 0; i < key.size(); ++i)
        key.data()[i] = static_cast<unsigned char>(i % 3 == 0 ? 0 : i);
    return key;
}

TEST(KeyFile, StoresOncePrivatelyAndReadsBackEveryByte)
{
    QTemporaryDir dir;
    const mode_t previous = ::umask(022);
    KeyFile file(dir.path() + QStringLiteral("/config/Scrivlet"));
    EXPECT_EQ(file.lookup(Keyring::Prompt::allowed).outcome, Outcome::notFound);

    ASSERT_TRUE(file.store(keyWithZeros()).ok());
    ::umask(previous);
    struct stat info
    { };
    ASSERT_EQ(::stat(QFile::encodeName(file.filePath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(dir.path() + QStringLiteral("/config/Scrivlet")).entryList(QDir::Files),
        QStringList {QStringLiteral("content-key")})
        << "no temporary file may be left behind";

    const Keyring::Lookup found = file.lookup(Keyring::Prompt::allowed);
    ASSERT_EQ(found.outcome, Outcome::found);
    ASSERT_EQ(found.secrets.size(), 1u);
    EXPECT_TRUE(found.secrets.front() == keyWithZeros());

    // The key is never replaced.
    EXPECT_FALSE(file.store(SecretBytes(32)).ok());
    EXPECT_TRUE(file.lookup(Keyring::Prompt::allowed).secrets.front() == keyWithZeros());
}

TEST(KeyFile, UnreadableOrDamagedKeyFilesAreFailuresNotAbsence)
{
    QTemporaryDir dir;
    KeyFile file(dir.path());
    const struct
    {
        const char *name;
        void (*make)(const QString &path);
    } cases[] = {
        {"empty file", [](const QString &path) { QFile(path).open(QIODevice::WriteOnly); }},
        {"folder in its place", [](const QString &path) { QDir().mkpath(path); }},
        {"oversized file",
            [](const QString &path) {
                QFile out(path);
                out.open(QIODevice::WriteOnly);
                out.write(QByteArray(4096, 'k'));
            }},
    };
    for (const auto &c : cases) {
        QFile::remove(file.filePath());
        QDir(file.filePath()).removeRecursively();
        c.make(file.filePath());
        EXPECT_EQ(file.lookup(Keyring::Prompt::allowed).outcome, Outcome::failed) << c.name;
    }
}

} // namespace
} // namespace scrivlet
