// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QPixmap>
#include <QString>
#include <optional>

namespace scrivlet {

class ImageStore;

// Small previews of image entries, decoded once per file. Clipboard images
// are untrusted: the size an image declares is checked before it is decoded.
class Thumbnails
{
public:
    static constexpr int kHeight = 64;
    static constexpr qint64 kMaxPixels = 40LL * 1000 * 1000;

    explicit Thumbnails(const ImageStore &images);

    // None when the file is missing, does not decode, or is too large.
    [[nodiscard]] std::optional<QPixmap> thumbnail(const QString &fileName);

private:
    const ImageStore &m_images;
    QHash<QString, std::optional<QPixmap>> m_cache;
};

} // namespace scrivlet
