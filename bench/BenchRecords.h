// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/crypto/Crypto.h"
#include "core/history/ClipStore.h"
#include "core/history/ModelContext.h"

#include <QUuid>
#include <functional>

namespace scrivlet::bench {

// About the length of a copied sentence or two; one record in kImageEvery is
// an image.
inline constexpr int kTextLength = 200;
inline constexpr int kImageEvery = 20;

// Inserts `records` records with the fields recordContent gives, texts from
// `textOf(seq)`, unsaved. Image rows name files that are not there: pruning
// one removes nothing and a row draws its placeholder, the cheaper side of
// each figure.
inline void insertRecords(
    ModelContext &context, int records, const std::function<QString(qint64)> &textOf)
{
    const SecretBytes hashKey = ClipStore::hashKeyFor(Crypto::shared()->key());
    for (qint64 seq = 1; seq <= records; ++seq) {
        const bool image = seq % kImageEvery == 0;
        const QString text = textOf(seq);
        ClipRecord record;
        record.id = QUuid::createUuid();
        record.createdAt = 1'700'000'000.0 + double(seq);
        record.seq = seq;
        record.kindRaw = image ? QStringLiteral("image") : QStringLiteral("text");
        record.contentHash = *ClipStore::contentHash(ClipContent::text(text), hashKey);
        record.sourceAppBundleID = QStringLiteral("org.example.Bench");
        record.byteSize = text.toUtf8().size();
        if (image)
            record.imageFileRef = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
                + QStringLiteral(".png");
        ClipItemPtr item = ClipItem::create(std::move(record));
        item->setText(image ? QString() : text);
        context.insert(item);
    }
}

} // namespace scrivlet::bench
