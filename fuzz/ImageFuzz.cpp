// SPDX-License-Identifier: GPL-3.0-or-later
// An image file is whatever sits in the images folder: reading it and making
// its thumbnail must give back what was stored, keep to the declared-size
// limit, and never crash.
//
// Input: a byte whose low bit says whether the rest is stored sealed (as
// Scrivlet writes images) or as it is (files from before sealing, or forged).
#include "core/history/ImageStore.h"
#include "ui/palette/Thumbnails.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace scrivlet;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

Crypto fixedCrypto()
{
    SecretBytes key(32);
    for (std::size_t i = 0; i < key.size(); ++i)
        key.data()[i] = static_cast<unsigned char>(i * 7 + 1);
    return Crypto(std::move(key));
}

QTemporaryDir *folder;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // QPixmap needs a GUI application; no display is involved.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    // tmpfs when there is one: every input is written to a file.
    const QString base
        = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    folder = new QTemporaryDir(base + QStringLiteral("/image_fuzz-XXXXXX"));
    check(folder->isValid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool sealed = data[0] & 1;
    const QByteArray payload(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const Crypto crypto = fixedCrypto();
    const QByteArray onDisk = sealed ? crypto.seal(payload) : payload;

    const QString name = QStringLiteral("0A1B2C3D-0000-4000-8000-000000000000.png");
    QFile file(folder->filePath(name));
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(onDisk) == onDisk.size());
    file.close();

    const ImageStore store(folder->path(), crypto);
    const std::optional<QByteArray> read = store.read(name);
    check(read.has_value());
    if (sealed)
        check(*read == payload);
    else
        check(*read == payload || crypto.open(payload) == *read);

    Thumbnails thumbnails(store);
    const std::optional<QPixmap> thumbnail = thumbnails.thumbnail(name);
    if (thumbnail) {
        check(!thumbnail->isNull() && thumbnail->height() <= Thumbnails::kHeight
            && thumbnail->width() <= Thumbnails::kHeight * 8);
        // Only an image whose declared size is within the limit is decoded.
        QBuffer buffer;
        buffer.setData(*read);
        buffer.open(QIODevice::ReadOnly);
        const QSize declared = QImageReader(&buffer).size();
        check(qint64(declared.width()) * declared.height() <= Thumbnails::kMaxPixels);
    }
    return 0;
}
