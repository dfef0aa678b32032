// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModelContext.h"

#include <algorithm>
#include <cstring>

namespace scrivlet {

namespace {

constexpr char kColumnList[]
    = "id, createdAt, seq, kindRaw, textCipher, richCipher, text, richData, "
      "contentHash, imageFileRef, sourceAppBundleID, isPinned, pinnedAt, "
      "byteSize, htmlCipher";

std::string selectSql(const FetchDescriptor &d)
{
    std::string sql = std::string("SELECT ") + kColumnList + " FROM ClipItem WHERE 1";
    switch (d.filter) {
    case FetchDescriptor::Filter::all:
        break;
    case FetchDescriptor::Filter::unpinned:
        sql += " AND isPinned = 0";
        break;
    case FetchDescriptor::Filter::withLegacyPayload:
        sql += " AND (text IS NOT NULL OR richData IS NOT NULL)";
        break;
    case FetchDescriptor::Filter::withImageFile:
        sql += " AND imageFileRef IS NOT NULL";
        break;
    }
    if (d.createdBefore)
        sql += " AND createdAt < ?1";
    if (d.sort == FetchDescriptor::Sort::seqDescending)
        sql += " ORDER BY seq DESC";
    else if (d.sort == FetchDescriptor::Sort::seqAscending)
        sql += " ORDER BY seq ASC";
    if (d.limit || d.offset > 0)
        sql += " LIMIT " + std::to_string(d.limit.value_or(-1)) + " OFFSET "
            + std::to_string(d.offset);
    return sql;
}

std::optional<QString> optionalText(const sqlite::Statement &row, int column)
{
    return row.isNull(column) ? std::nullopt : std::optional<QString>(row.text(column));
}

std::optional<QByteArray> optionalBlob(const sqlite::Statement &row, int column)
{
    return row.isNull(column) ? std::nullopt : std::optional<QByteArray>(row.blob(column));
}

QString canonicalId(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

void bindRecord(sqlite::Statement &statement, const ClipRecord &r)
{
    statement.bind(1, canonicalId(r.id));
    statement.bind(2, r.createdAt);
    statement.bind(3, r.seq);
    statement.bind(4, r.kindRaw);
    statement.bind(5, r.textCipher);
    statement.bind(6, r.richCipher);
    statement.bind(7, r.legacyText);
    statement.bind(8, r.legacyRich);
    statement.bind(9, r.contentHash);
    statement.bind(10, r.imageFileRef);
    statement.bind(11, r.sourceAppBundleID);
    statement.bind(12, qint64(r.isPinned ? 1 : 0));
    statement.bind(13, r.pinnedAt);
    statement.bind(14, r.byteSize);
    statement.bind(15, r.htmlCipher);
}

// Whether the write touched a row.
Result<bool> runOnce(sqlite::Statement &statement, sqlite3 *db)
{
    const int rc = statement.step();
    statement.reset();
    if (rc != SQLITE_DONE)
        return Error {sqlite::lastError(db)};
    return sqlite3_changes(db) > 0;
}

} // namespace

ModelContext::ModelContext(sqlite3 *db)
    : m_db(db)
    , m_insert(db,
          "INSERT INTO ClipItem (id, createdAt, seq, kindRaw, textCipher, richCipher, text, "
          "richData, contentHash, imageFileRef, sourceAppBundleID, isPinned, pinnedAt, byteSize, "
          "htmlCipher) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)")
    , m_update(db,
          "UPDATE ClipItem SET createdAt = ?2, seq = ?3, kindRaw = ?4, textCipher = ?5, "
          "richCipher = ?6, text = ?7, richData = ?8, contentHash = ?9, imageFileRef = ?10, "
          "sourceAppBundleID = ?11, isPinned = ?12, pinnedAt = ?13, byteSize = ?14, "
          "htmlCipher = ?15 WHERE id = ?1")
    , m_delete(db, "DELETE FROM ClipItem WHERE id = ?1")
{ }

ModelContext::~ModelContext()
{
    // Records outliving the context must not call back into it.
    for (const auto &weak : std::as_const(m_loaded)) {
        if (ClipItemPtr item = weak.lock())
            item->m_context = nullptr;
    }
}

bool ModelContext::isValid() const
{
    return m_insert.isValid() && m_update.isValid() && m_delete.isValid()
        && sqlite::Statement(m_db, selectSql({}).c_str()).isValid();
}

Result<std::vector<ClipItemPtr>> ModelContext::fetch(const FetchDescriptor &descriptor)
{
    // While changes are pending the database's copy differs from memory: then
    // read every row and narrow here, so the answer is the same either way.
    const bool narrowInSql = !hasChanges();
    FetchDescriptor sql;
    sql.sort = descriptor.sort;
    if (narrowInSql)
        sql = descriptor;
    sqlite::Statement query(m_db, selectSql(sql).c_str());
    if (!query.isValid())
        return Error {sqlite::lastError(m_db)};
    if (sql.createdBefore)
        query.bind(1, *sql.createdBefore);

    std::vector<ClipItemPtr> items;
    int rc = SQLITE_ROW;
    while ((rc = query.step()) == SQLITE_ROW) {
        ClipItemPtr item = materialise(query);
        if (narrowInSql || (!m_removed.contains(item->id()) && matches(*item, descriptor)))
            items.push_back(std::move(item));
    }
    if (rc != SQLITE_DONE)
        return Error {sqlite::lastError(m_db)};
    if (narrowInSql)
        return items;

    for (const ClipItemPtr &item : std::as_const(m_inserted)) {
        if (matches(*item, descriptor))
            items.push_back(item);
    }
    if (descriptor.sort == FetchDescriptor::Sort::seqDescending)
        std::stable_sort(items.begin(), items.end(),
            [](const ClipItemPtr &a, const ClipItemPtr &b) { return a->seq() > b->seq(); });
    else if (descriptor.sort == FetchDescriptor::Sort::seqAscending)
        std::stable_sort(items.begin(), items.end(),
            [](const ClipItemPtr &a, const ClipItemPtr &b) { return a->seq() < b->seq(); });
    const auto skip = std::min(items.size(), std::size_t(std::max(descriptor.offset, 0)));
    items.erase(items.begin(), items.begin() + std::ptrdiff_t(skip));
    if (descriptor.limit && items.size() > std::size_t(std::max(*descriptor.limit, 0)))
        items.resize(std::size_t(std::max(*descriptor.limit, 0)));
    return items;
}

Result<std::vector<RecordKey>> ModelContext::fetchKeys(const FetchDescriptor &descriptor)
{
    std::vector<RecordKey> keys;
    if (hasChanges()) {
        // Memory is the truth until saved: derive the keys from the records.
        auto items = fetch(descriptor);
        if (!items)
            return Error {items.error()};
        for (const ClipItemPtr &item : items.value())
            keys.push_back(
                {item->id(), item->seq(), item->contentHash(), item->isPinned(), item->pinnedAt()});
        return keys;
    }
    std::string sql = selectSql(descriptor);
    sql.replace(sql.find(kColumnList), std::strlen(kColumnList),
        "id, seq, contentHash, isPinned, pinnedAt");
    sqlite::Statement query(m_db, sql.c_str());
    if (!query.isValid())
        return Error {sqlite::lastError(m_db)};
    if (descriptor.createdBefore)
        query.bind(1, *descriptor.createdBefore);
    int rc = SQLITE_ROW;
    while ((rc = query.step()) == SQLITE_ROW) {
        keys.push_back({QUuid::fromString(query.text(0)), query.integer(1), query.text(2),
            query.integer(3) != 0,
            query.isNull(4) ? std::nullopt : std::optional<double>(query.real(4))});
    }
    if (rc != SQLITE_DONE)
        return Error {sqlite::lastError(m_db)};
    return keys;
}

Result<ClipItemPtr> ModelContext::fetchById(const QUuid &id)
{
    if (ClipItemPtr loaded = m_loaded.value(id).lock())
        return m_removed.contains(id) ? ClipItemPtr() : loaded;
    // The id as this program writes it, through the index; then in any case,
    // as another program may have written it.
    for (const char *match : {"id = ?1", "id = ?1 COLLATE NOCASE"}) {
        const std::string sql
            = std::string("SELECT ") + kColumnList + " FROM ClipItem WHERE " + match;
        sqlite::Statement query(m_db, sql.c_str());
        if (!query.isValid())
            return Error {sqlite::lastError(m_db)};
        query.bind(1, canonicalId(id));
        switch (query.step()) {
        case SQLITE_ROW:
            return materialise(query);
        case SQLITE_DONE:
            break;
        default:
            return Error {sqlite::lastError(m_db)};
        }
    }
    return ClipItemPtr();
}

bool ModelContext::matches(const ClipItem &item, const FetchDescriptor &descriptor)
{
    if (descriptor.createdBefore && !(item.createdAt() < *descriptor.createdBefore))
        return false;
    switch (descriptor.filter) {
    case FetchDescriptor::Filter::all:
        return true;
    case FetchDescriptor::Filter::unpinned:
        return !item.isPinned();
    case FetchDescriptor::Filter::withLegacyPayload:
        return item.legacyText() || item.legacyRich();
    case FetchDescriptor::Filter::withImageFile:
        return item.imageFileRef().has_value();
    }
    return true;
}

ClipItemPtr ModelContext::materialise(const sqlite::Statement &row)
{
    const QUuid id = QUuid::fromString(row.text(0));
    if (ClipItemPtr existing = m_loaded.value(id).lock())
        return existing; // the object in memory is the newer truth

    ClipRecord r;
    r.id = id;
    r.createdAt = row.real(1);
    r.seq = row.integer(2);
    r.kindRaw = row.text(3);
    r.textCipher = row.blob(4);
    r.richCipher = optionalBlob(row, 5);
    r.legacyText = optionalText(row, 6);
    r.legacyRich = optionalBlob(row, 7);
    r.contentHash = row.text(8);
    r.imageFileRef = optionalText(row, 9);
    r.sourceAppBundleID = optionalText(row, 10);
    r.isPinned = row.integer(11) != 0;
    r.pinnedAt = row.isNull(12) ? std::nullopt : std::optional<double>(row.real(12));
    r.byteSize = row.integer(13);
    r.htmlCipher = optionalBlob(row, 14);

    ClipItemPtr item = ClipItem::create(std::move(r));
    item->m_context = this;
    item->m_storedId = row.text(0);
    m_loaded.insert(id, item);
    return item;
}

void ModelContext::insert(const ClipItemPtr &item)
{
    if (!item || item->m_context)
        return;
    item->m_context = this;
    m_loaded.insert(item->id(), item);
    m_inserted.insert(item->id(), item);
}

void ModelContext::remove(const ClipItemPtr &item)
{
    if (!item || item->m_context != this)
        return;
    // A pending change may have moved its pin: what is stored is unknown here.
    if (m_changed.remove(item->id()))
        m_unpinnedCount.reset();
    if (m_inserted.remove(item->id())) {
        // Never stored: forgetting it is enough.
        item->m_context = nullptr;
        m_loaded.remove(item->id());
        return;
    }
    m_removed.insert(item->id(), item);
}

void ModelContext::noteChanged(ClipItem &item)
{
    const QUuid &id = item.id();
    if (!m_inserted.contains(id) && !m_removed.contains(id))
        m_changed.insert(id, item.shared_from_this());
}

bool ModelContext::hasChanges() const
{
    return !m_inserted.isEmpty() || !m_changed.isEmpty() || !m_removed.isEmpty();
}

std::optional<qint64> ModelContext::storedUnpinnedCount()
{
    if (hasChanges())
        return std::nullopt;
    if (!m_unpinnedCount) {
        sqlite::Statement query(m_db, "SELECT count(*) FROM ClipItem WHERE isPinned = 0");
        if (query.isValid() && query.step() == SQLITE_ROW)
            m_unpinnedCount = query.integer(0);
    }
    return m_unpinnedCount;
}

std::optional<QStringList> ModelContext::storedImageFileNames()
{
    if (hasChanges())
        return std::nullopt;
    sqlite::Statement query(
        m_db, "SELECT imageFileRef FROM ClipItem WHERE imageFileRef IS NOT NULL");
    if (!query.isValid())
        return std::nullopt;
    QStringList names;
    int rc = SQLITE_ROW;
    while ((rc = query.step()) == SQLITE_ROW)
        names.append(query.text(0));
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return names;
}

Status ModelContext::save()
{
    if (!hasChanges())
        return success();
    if (Status begun = sqlite::execute(m_db, "BEGIN IMMEDIATE"); !begun)
        return begun;
    std::vector<ClipItemPtr> unstored;
    Status written = writePending(unstored);
    if (written)
        written = sqlite::execute(m_db, "COMMIT");
    if (!written) {
        (void)sqlite::execute(m_db, "ROLLBACK"); // the first error is the one to report
        for (const ClipItemPtr &item : unstored)
            forget(item);
        m_unpinnedCount.reset();
        return written;
    }

    // Inserts and removals move the count by what they are; a changed
    // record may have been pinned or unpinned, so then it is counted again.
    if (m_unpinnedCount && !m_changed.isEmpty())
        m_unpinnedCount.reset();
    if (m_unpinnedCount) {
        for (const ClipItemPtr &item : std::as_const(m_inserted))
            *m_unpinnedCount += item->isPinned() ? 0 : 1;
        for (const ClipItemPtr &item : std::as_const(m_removed))
            *m_unpinnedCount -= item->isPinned() ? 0 : 1;
    }

    for (const ClipItemPtr &item : std::as_const(m_removed)) {
        item->m_context = nullptr;
        m_loaded.remove(item->id());
    }
    m_inserted.clear();
    m_changed.clear();
    m_removed.clear();
    // Forget the records nobody holds any more.
    m_loaded.removeIf([](const auto &entry) { return entry.value().expired(); });
    return success();
}

Status ModelContext::writePending(std::vector<ClipItemPtr> &unstored)
{
    const auto write = [&](sqlite::Statement &statement, const ClipItemPtr &item) -> Status {
        const Result<bool> touched = runOnce(statement, m_db);
        if (!touched)
            return Error {touched.error()};
        if (!touched.value())
            unstored.push_back(item);
        return success();
    };
    for (const ClipItemPtr &item : std::as_const(m_removed)) {
        m_delete.bind(1, storedId(*item));
        if (Status done = write(m_delete, item); !done)
            return done;
    }
    for (const ClipItemPtr &item : std::as_const(m_changed)) {
        bindRecord(m_update, item->record());
        m_update.bind(1, storedId(*item));
        if (Status done = write(m_update, item); !done)
            return done;
    }
    for (const ClipItemPtr &item : std::as_const(m_inserted)) {
        bindRecord(m_insert, item->record());
        if (Status done = write(m_insert, item); !done)
            return done;
    }
    if (!unstored.empty())
        return Error {QStringLiteral("record %1 is no longer stored")
                          .arg(canonicalId(unstored.front()->id()))};
    return success();
}

QString ModelContext::storedId(const ClipItem &item)
{
    return item.m_storedId.isEmpty() ? canonicalId(item.id()) : item.m_storedId;
}

void ModelContext::forget(const ClipItemPtr &item)
{
    m_changed.remove(item->id());
    m_removed.remove(item->id());
    m_loaded.remove(item->id());
    item->m_context = nullptr;
}

} // namespace scrivlet
