// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClipContent.h"
#include "ClipItem.h"
#include "ImageStore.h"
#include "SearchIndex.h"
#include "core/Clock.h"
#include "core/crypto/SecretBytes.h"

#include <QSet>
#include <QString>
#include <limits>
#include <optional>
#include <vector>

namespace scrivlet {

class ModelContext;

// The history: the one object through which entries are recorded, listed,
// pinned, deleted and pruned. Payloads are sealed with the process-wide
// cipher, which must be set before the store is made.
class ClipStore
{
public:
    static constexpr qint64 kNoLimit = std::numeric_limits<qint64>::max();
    static constexpr int kDuplicateWindow = 500;
    // Files younger than this are spared by the opening sweep.
    static constexpr double kSweepGraceSeconds = 60;

    ClipStore(ModelContext &context, ImageStore imageStore, const Clock &clock = Clock::system());

    // The only way new entries enter the history. `keepPinned`: for what
    // Scrivlet itself put back on the clipboard, a pinned copy stays as it is
    // instead of being replaced by an unpinned one.
    // The entry that holds the content afterwards (new, or the one already
    // first); none when nothing could be recorded.
    ClipItemPtr recordContent(const ClipContent &content, const std::optional<QString> &sourceApp,
        bool keepPinned = false);
    // Whether the entry is still in the history (not deleted, pruned or cleared).
    [[nodiscard]] bool contains(const ClipItemPtr &item);
    // Display order: pinned first (most recently pinned first), then newest
    // first; only the `limit` newest records take part.
    [[nodiscard]] std::vector<ClipItemPtr> recentItems(int limit);
    struct Found
    {
        ClipItemPtr item;
        int position = 0; // in the display order of the whole history, when asked
    };
    // The entries of the whole history whose text contains the query, in
    // display order, at most `limit`. The first search builds the index.
    [[nodiscard]] std::vector<Found> search(
        const QString &query, int limit, bool withPositions = false);
    // Builds the search index now rather than at the first search; or one
    // page of it, saying whether it is complete, for a program that must stay
    // responsive meanwhile.
    void prepareSearch() { m_searchIndex.build(); }
    bool prepareSearchStep() { return m_searchIndex.buildStep(); }
    void enforceLimits();
    // Each says whether its change is stored; a record that another program
    // removed from the database meanwhile can be neither pinned nor deleted.
    bool togglePin(const ClipItemPtr &item);
    bool deleteItem(const ClipItemPtr &item);
    bool clearAll();

    [[nodiscard]] qint64 nextSeq() const { return m_nextSeq; }
    qint64 maxItems = kNoLimit;
    qint64 retentionDays = kNoLimit;

    [[nodiscard]] const ImageStore &imageStore() const { return m_imageStore; }

    // 64 lower-case hex digits of HMAC-SHA-256 under `hashKey` over the bytes
    // that identify the content; absent when it is not worth recording.
    [[nodiscard]] static std::optional<QString> contentHash(
        const ClipContent &content, const SecretBytes &hashKey);
    // The content-hash key, derived from the content key.
    [[nodiscard]] static SecretBytes hashKeyFor(const SecretBytes &contentKey);

private:
    [[nodiscard]] ClipItemPtr makeItem(
        const ClipContent &content, const QString &hash, const std::optional<QString> &sourceApp);
    void migrateLegacyPlaintext();
    void sweepImages();
    void removeItem(const ClipItemPtr &item);
    // Saves; files of removed records are deleted only once their removal is
    // durable, so that a crash never leaves a record without its image.
    [[nodiscard]] bool save();

    ModelContext &m_context;
    ImageStore m_imageStore;
    const Clock &m_clock;
    std::optional<SecretBytes> m_hashKey;
    qint64 m_nextSeq = 1;
    QSet<QString> m_filesToDelete;
    SearchIndex m_searchIndex;
};

} // namespace scrivlet
