// SPDX-License-Identifier: GPL-3.0-or-later
#include "Thumbnails.h"

#include "core/history/ImageStore.h"

#include <QBuffer>
#include <QImageReader>

namespace scrivlet {

Thumbnails::Thumbnails(const ImageStore &images)
    : m_images(images)
{ }

std::optional<QPixmap> Thumbnails::thumbnail(const QString &fileName)
{
    if (const auto cached = m_cache.constFind(fileName); cached != m_cache.constEnd())
        return *cached;
    std::optional<QPixmap> result;
    if (const std::optional<QByteArray> bytes = m_images.read(fileName)) {
        QBuffer buffer;
        buffer.setData(*bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        if (size.isValid() && !size.isEmpty()
            && qint64(size.width()) * size.height() <= kMaxPixels) {
            // Readers that can decode straight to the small size do so.
            const int height = std::min(kHeight, size.height());
            reader.setScaledSize(
                size.scaled(std::min(size.width(), kHeight * 8), height, Qt::KeepAspectRatio));
            const QImage image = reader.read();
            if (!image.isNull())
                result = QPixmap::fromImage(image);
        }
    }
    m_cache.insert(fileName, result);
    return result;
}

} // namespace scrivlet
