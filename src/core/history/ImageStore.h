// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Result.h"
#include "core/crypto/Crypto.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <optional>

namespace scrivlet {

// The folder of image payloads: one sealed file per image entry, named by an
// upper-case UUID and ".png" whatever the format.
class ImageStore
{
public:
    ImageStore(QString directory, std::optional<Crypto> crypto);

    // $XDG_DATA_HOME/Scrivlet/images
    static QString defaultDirectory();

    [[nodiscard]] const QString &directory() const { return m_directory; }

    // Seals the bytes into a new file, complete on disk (written under a
    // temporary name, flushed, renamed) before the name is returned. Fails
    // without a cipher: an image is never stored in the clear.
    [[nodiscard]] Result<QString> write(const QByteArray &image) const;
    // The image bytes; a file that does not open with the cipher is handed
    // on as it is (written before images were sealed). Absent when unreadable.
    [[nodiscard]] std::optional<QByteArray> read(const QString &name) const;
    // Removes the file; a missing file is not a failure worth reporting.
    void deleteFile(const QString &name) const;

    // Removes what a crash can leave behind: temporary files, and image files
    // sealed under this store's key that no record names, once older than the
    // grace period.
    void sweep(const QSet<QString> &named, double now, double graceSeconds) const;

private:
    [[nodiscard]] std::optional<QString> pathOf(const QString &name) const;
    [[nodiscard]] bool isSealedHere(const QString &path) const;

    QString m_directory;
    std::optional<Crypto> m_crypto;
};

} // namespace scrivlet
