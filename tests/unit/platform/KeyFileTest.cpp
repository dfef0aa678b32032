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
    // Empty, oversized, then a folder in its place.
    for (const int size : {0, 4096, -1}) {
        SCOPED_TRACE(size);
        QFile::remove(file.filePath());
        if (size < 0) {
            ASSERT_TRUE(QDir().mkpath(file.filePath()));
        } else {
            QFile out(file.filePath());
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(QByteArray(size, 'k'));
        }
        EXPECT_EQ(file.lookup(Keyring::Prompt::allowed).outcome, Outcome::failed);
    }
}

} // namespace
} // namespace scrivlet
