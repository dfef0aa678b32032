// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClipItem.h"
#include "Sqlite.h"
#include "core/Result.h"

#include <QHash>
#include <QUuid>
#include <memory>
#include <optional>
#include <vector>

namespace scrivlet {

struct FetchDescriptor
{
    enum class Sort { none, seqDescending, seqAscending };
    // Narrowing that the store uses where it makes an operation cheaper; the
    // result is what filtering the whole history would give.
    enum class Filter { all, unpinned, withLegacyPayload, withImageFile };

    Sort sort = Sort::none;
    std::optional<int> limit; // a positive count, or none
    Filter filter = Filter::all;
    int offset = 0; // records skipped before the first one returned
    std::optional<double> createdBefore; // only records strictly older

    static FetchDescriptor newestFirst(
        std::optional<int> limit = std::nullopt, Filter filter = Filter::all)
    {
        FetchDescriptor descriptor;
        descriptor.sort = Sort::seqDescending;
        descriptor.limit = limit;
        descriptor.filter = filter;
        return descriptor;
    }
};

// What ordering and de-duplication need of a record, without its payloads.
struct RecordKey
{
    QUuid id;
    qint64 seq = 0;
    QString contentHash;
    bool isPinned = false;
    std::optional<double> pinnedAt;
};

// The records of one history, with an identity map: a stored record is one
// object for as long as anyone holds it. Inserts, removals and field writes
// stay pending until `save`, and fetches already see them.
class ModelContext
{
public:
    explicit ModelContext(sqlite3 *db);
    ~ModelContext();
    ModelContext(const ModelContext &) = delete;
    ModelContext &operator=(const ModelContext &) = delete;

    [[nodiscard]] bool isValid() const;

    [[nodiscard]] Result<std::vector<ClipItemPtr>> fetch(const FetchDescriptor &descriptor = {});
    // The same records as `fetch`, read without their payloads.
    [[nodiscard]] Result<std::vector<RecordKey>> fetchKeys(const FetchDescriptor &descriptor);
    // The record of that id; null when there is none.
    [[nodiscard]] Result<ClipItemPtr> fetchById(const QUuid &id);
    void insert(const ClipItemPtr &item);
    void remove(const ClipItemPtr &item);
    // One transaction. On failure the database is as it was and the changes
    // stay pending for the next save, except those of records that are no
    // longer stored (a write that touches no row fails the save): no later
    // save could write them, so their records leave the context.
    [[nodiscard]] Status save();
    [[nodiscard]] bool hasChanges() const;
    // How many unpinned records the database holds; none while changes are
    // pending. Counted once, then followed through this context's saves.
    [[nodiscard]] std::optional<qint64> storedUnpinnedCount();
    // The image file names the database holds, read from their index alone;
    // none while changes are pending.
    [[nodiscard]] std::optional<QStringList> storedImageFileNames();

private:
    friend class ClipItem;
    void noteChanged(ClipItem &item);
    ClipItemPtr materialise(const sqlite::Statement &row);
    [[nodiscard]] static bool matches(const ClipItem &item, const FetchDescriptor &descriptor);
    [[nodiscard]] Status writePending(std::vector<ClipItemPtr> &unstored);
    void forget(const ClipItemPtr &item);
    [[nodiscard]] static QString storedId(const ClipItem &item);

    sqlite3 *m_db;
    sqlite::Statement m_insert;
    sqlite::Statement m_update;
    sqlite::Statement m_delete;
    QHash<QUuid, std::weak_ptr<ClipItem>> m_loaded;
    // Held strongly until saved, so that no pending change is dropped.
    QHash<QUuid, ClipItemPtr> m_inserted;
    QHash<QUuid, ClipItemPtr> m_changed;
    QHash<QUuid, ClipItemPtr> m_removed;
    std::optional<qint64> m_unpinnedCount;
};

} // namespace scrivlet
