// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipStore.h"

#include "ModelContext.h"
#include "core/crypto/Crypto.h"
#include "core/crypto/Digest.h"

#include <QUuid>
#include <algorithm>

namespace scrivlet {

namespace {

constexpr double kSecondsPerDay = 86400;
const QByteArray kHtmlHashInfo = QByteArrayLiteral("org.scrivlet.Scrivlet/content-hash/html");

QByteArray joinedPaths(const QStringList &paths)
{
    return paths.join(QLatin1Char('\n')).toUtf8();
}

// The bytes that identify a content; absent when it is not worth recording.
std::optional<QByteArray> identifyingBytes(const ClipContent &content)
{
    struct Visitor
    {
        std::optional<QByteArray> operator()(const ClipContent::Text &c) const
        {
            if (c.text.trimmed().isEmpty())
                return std::nullopt;
            return c.text.toUtf8();
        }
        std::optional<QByteArray> operator()(const ClipContent::RichText &c) const
        {
            if (!c.html)
                return c.rtf; // as before HTML was kept, so stored hashes still match
            // Each part with its length: no two different contents give one message.
            QByteArray bytes;
            for (const std::optional<QByteArray> &part :
                {std::optional(c.plain.toUtf8()), c.rtf, c.html}) {
                bytes += part ? QByteArray::number(part->size()) + ':' + *part : QByteArray("-");
                bytes += ';';
            }
            return bytes;
        }
        std::optional<QByteArray> operator()(const ClipContent::Image &c) const { return c.bytes; }
        std::optional<QByteArray> operator()(const ClipContent::Files &c) const
        {
            if (c.paths.isEmpty())
                return std::nullopt;
            return joinedPaths(c.paths);
        }
    };
    return std::visit(Visitor {}, content.value);
}

// Display order: pinned first, the most recently pinned first (an absent
// time counts as the earliest), then the rest; both stable, so newest first
// within equal keys when the input is newest first.
template<typename T, typename IsPinned, typename PinnedAt>
void arrangeForDisplay(std::vector<T> &records, IsPinned isPinned, PinnedAt pinnedAt)
{
    const auto unpinned = std::stable_partition(records.begin(), records.end(), isPinned);
    std::stable_sort(records.begin(), unpinned, [&](const T &a, const T &b) {
        constexpr double kEarliest = -std::numeric_limits<double>::infinity();
        return pinnedAt(a).value_or(kEarliest) > pinnedAt(b).value_or(kEarliest);
    });
}

} // namespace

ClipStore::ClipStore(ModelContext &context, ImageStore imageStore, const Clock &clock)
    : m_context(context)
    , m_imageStore(std::move(imageStore))
    , m_clock(clock)
    , m_searchIndex(context)
{
    if (const auto &crypto = Crypto::shared())
        m_hashKey = hashKeyFor(crypto->key());

    const auto newest = m_context.fetch(FetchDescriptor::newestFirst(1));
    if (newest.ok() && !newest.value().empty())
        m_nextSeq = newest.value().front()->seq() + 1;

    migrateLegacyPlaintext();
    sweepImages();
}

SecretBytes ClipStore::hashKeyFor(const SecretBytes &contentKey)
{
    return digest::hkdfSha256(
        contentKey, QByteArrayLiteral("org.scrivlet.Scrivlet/content-hash/v1"), 32);
}

std::optional<QString> ClipStore::contentHash(
    const ClipContent &content, const SecretBytes &hashKey)
{
    const std::optional<QByteArray> bytes = identifyingBytes(content);
    if (!bytes)
        return std::nullopt;
    // Contents with HTML are hashed under a key of their own, so that none
    // can take the hash of a text or an RTF whose bytes spell its message.
    const auto *rich = std::get_if<ClipContent::RichText>(&content.value);
    const QByteArray mac = rich && rich->html
        ? digest::hmacSha256(digest::hkdfSha256(hashKey, kHtmlHashInfo, 32), *bytes)
        : digest::hmacSha256(hashKey, *bytes);
    if (mac.isEmpty())
        return std::nullopt;
    return digest::hex(mac);
}

ClipItemPtr ClipStore::recordContent(
    const ClipContent &content, const std::optional<QString> &sourceApp, bool keepPinned)
{
    // Without a key nothing can be sealed, and nothing is kept in the clear.
    if (!m_hashKey || m_hashKey->isEmpty() || !Crypto::shared())
        return nullptr;
    const std::optional<QString> hash = contentHash(content, *m_hashKey);
    if (!hash)
        return nullptr;

    // The newest records in display order, without their payloads.
    auto fetched = m_context.fetchKeys(FetchDescriptor::newestFirst(kDuplicateWindow));
    std::vector<RecordKey> recent = fetched ? std::move(fetched).value() : std::vector<RecordKey>();
    arrangeForDisplay(
        recent, [](const RecordKey &k) { return k.isPinned; },
        [](const RecordKey &k) { return k.pinnedAt; });
    const auto existing = [this](const QUuid &id) -> ClipItemPtr {
        auto found = m_context.fetchById(id);
        return found ? found.value() : nullptr;
    };
    if (!recent.empty() && recent.front().contentHash == *hash)
        return existing(recent.front().id);
    const auto duplicate = std::find_if(recent.begin(), recent.end(),
        [&](const RecordKey &key) { return key.contentHash == *hash; });
    if (keepPinned && duplicate != recent.end() && duplicate->isPinned)
        return existing(duplicate->id);

    // Built first: a content that cannot be sealed or written changes nothing.
    ClipItemPtr item = makeItem(content, *hash, sourceApp);
    if (!item)
        return nullptr;
    if (duplicate != recent.end()) {
        if (auto earlier = m_context.fetchById(duplicate->id); earlier && earlier.value())
            removeItem(earlier.value());
    }
    m_context.insert(item);
    m_searchIndex.inserted(*item);
    (void)save(); // unsaved, the entry is still listed and the next save stores it
    enforceLimits();
    return item;
}

ClipItemPtr ClipStore::makeItem(
    const ClipContent &content, const QString &hash, const std::optional<QString> &sourceApp)
{
    ClipRecord record;
    record.id = QUuid::createUuid();
    record.createdAt = m_clock.now();
    record.seq = m_nextSeq++;
    record.kindRaw = rawValue(content.kind());
    record.contentHash = hash;
    record.sourceAppBundleID = sourceApp;

    QString text;
    std::optional<QByteArray> rtf;
    std::optional<QByteArray> html;
    if (const auto *c = std::get_if<ClipContent::Text>(&content.value)) {
        text = c->text;
        record.byteSize = c->text.toUtf8().size();
    } else if (const auto *c = std::get_if<ClipContent::RichText>(&content.value)) {
        text = c->plain;
        rtf = c->rtf;
        html = c->html;
        record.byteSize = c->plain.toUtf8().size();
    } else if (const auto *c = std::get_if<ClipContent::Files>(&content.value)) {
        const QByteArray joined = joinedPaths(c->paths);
        text = QString::fromUtf8(joined);
        record.byteSize = joined.size();
    } else if (const auto *c = std::get_if<ClipContent::Image>(&content.value)) {
        const Result<QString> name = m_imageStore.write(c->bytes);
        if (!name)
            return nullptr;
        record.imageFileRef = name.value();
        record.byteSize = c->bytes.size();
    }

    ClipItemPtr item = ClipItem::create(std::move(record));
    item->setText(text);
    item->setRichData(rtf);
    item->setHtml(html);
    // An empty box would read back as an empty entry: better not to record.
    if (item->textCipher().isEmpty() || (rtf && item->richCipher()->isEmpty())
        || (html && item->htmlCipher()->isEmpty())) {
        if (item->imageFileRef())
            m_imageStore.deleteFile(*item->imageFileRef());
        return nullptr;
    }
    return item;
}

bool ClipStore::contains(const ClipItemPtr &item)
{
    if (!item)
        return false;
    const auto found = m_context.fetchById(item->id());
    return found.ok() && found.value() == item;
}

std::vector<ClipItemPtr> ClipStore::recentItems(int limit)
{
    auto fetched = m_context.fetch(FetchDescriptor::newestFirst(limit));
    if (!fetched)
        return {};
    std::vector<ClipItemPtr> items = std::move(fetched).value();
    arrangeForDisplay(
        items, [](const ClipItemPtr &item) { return item->isPinned(); },
        [](const ClipItemPtr &item) { return item->pinnedAt(); });
    return items;
}

std::vector<ClipStore::Found> ClipStore::search(const QString &query, int limit, bool withPositions)
{
    std::vector<Found> found;
    for (const SearchIndex::Hit &hit : m_searchIndex.search(query, limit, withPositions)) {
        if (auto item = m_context.fetchById(hit.id); item && item.value())
            found.push_back({item.value(), hit.position});
    }
    return found;
}

void ClipStore::enforceLimits()
{
    // Only what pruning removes is read: the unpinned records past the count,
    // then those older than the cut-off.
    std::vector<ClipItemPtr> marked;
    if (maxItems != kNoLimit) {
        const int keep = int(std::clamp<qint64>(maxItems, 0, std::numeric_limits<int>::max()));
        FetchDescriptor beyondCount
            = FetchDescriptor::newestFirst(std::nullopt, FetchDescriptor::Filter::unpinned);
        beyondCount.offset = keep;
        // Knowing the count, the surplus is the oldest few, taken from the
        // old end: skipping the kept ones would walk the whole history.
        const std::optional<qint64> count = m_context.storedUnpinnedCount();
        if (count) {
            beyondCount.sort = FetchDescriptor::Sort::seqAscending;
            beyondCount.offset = 0;
            beyondCount.limit
                = int(std::clamp<qint64>(*count - keep, 0, std::numeric_limits<int>::max()));
        }
        if (!count || *count > keep) {
            if (auto fetched = m_context.fetch(beyondCount))
                marked = std::move(fetched).value();
        }
    }
    if (retentionDays != kNoLimit) {
        // In no order: sorting by seq would walk every record instead of the
        // index on createdAt.
        FetchDescriptor tooOld;
        tooOld.filter = FetchDescriptor::Filter::unpinned;
        tooOld.createdBefore = m_clock.now() - double(retentionDays) * kSecondsPerDay;
        if (auto fetched = m_context.fetch(tooOld)) {
            for (const ClipItemPtr &item : fetched.value()) {
                if (std::find(marked.begin(), marked.end(), item) == marked.end())
                    marked.push_back(item);
            }
        }
    }
    if (marked.empty())
        return;
    for (const ClipItemPtr &item : marked)
        removeItem(item);
    (void)save(); // the removals stay pending for the next save
}

bool ClipStore::togglePin(const ClipItemPtr &item)
{
    if (!item)
        return false;
    const bool pinned = !item->isPinned();
    item->setPinned(pinned, pinned ? std::optional<double>(m_clock.now()) : std::nullopt);
    m_searchIndex.pinChanged(*item);
    return save();
}

bool ClipStore::deleteItem(const ClipItemPtr &item)
{
    if (!item)
        return false;
    removeItem(item);
    return save();
}

bool ClipStore::clearAll()
{
    const auto all = m_context.fetch();
    if (all) {
        for (const ClipItemPtr &item : all.value())
            removeItem(item);
    }
    const bool saved = save();
    return all.ok() && saved;
}

void ClipStore::removeItem(const ClipItemPtr &item)
{
    if (item->imageFileRef())
        m_filesToDelete.insert(*item->imageFileRef());
    m_context.remove(item);
    m_searchIndex.removed(*item);
}

bool ClipStore::save()
{
    // A failed save stays pending in the context and is retried by the next
    // one; the files wait for it.
    if (!m_context.save().ok())
        return false;
    for (const QString &name : std::as_const(m_filesToDelete))
        m_imageStore.deleteFile(name);
    m_filesToDelete.clear();
    return true;
}

void ClipStore::migrateLegacyPlaintext()
{
    const auto &crypto = Crypto::shared();
    // Without a cipher the plaintext stays where it is rather than being lost.
    if (!crypto || !m_hashKey)
        return;
    const auto legacy = m_context.fetch(
        FetchDescriptor::newestFirst(std::nullopt, FetchDescriptor::Filter::withLegacyPayload));
    if (!legacy)
        return;
    bool changed = false;
    for (const ClipItemPtr &item : legacy.value()) {
        ClipRecord record = item->record();
        if (record.legacyText) {
            const QByteArray sealed = crypto->seal(record.legacyText->toUtf8());
            if (sealed.isEmpty())
                continue;
            record.textCipher = sealed;
        }
        if (record.legacyRich) {
            const QByteArray sealed = crypto->seal(*record.legacyRich);
            if (sealed.isEmpty())
                continue;
            record.richCipher = sealed;
        }
        // Old hashes were unkeyed; hash again the way new records are.
        const QString plain = record.legacyText.value_or(QString());
        const ClipContent content = record.legacyRich
            ? ClipContent::richText(plain, *record.legacyRich)
            : ClipContent::text(plain);
        if (item->kind() != ClipKind::image)
            record.contentHash = contentHash(content, *m_hashKey).value_or(QString());
        record.legacyText.reset();
        record.legacyRich.reset();
        item->setRecord(std::move(record));
        changed = true;
    }
    // Unsaved, the sealed payloads wait for the next save, and a launch before
    // it seals the plaintext again.
    if (changed)
        (void)save();
}

void ClipStore::sweepImages()
{
    // Only a complete list of names may decide that a file is unnamed.
    QSet<QString> named;
    if (const std::optional<QStringList> stored = m_context.storedImageFileNames()) {
        named = QSet<QString>(stored->begin(), stored->end());
    } else {
        FetchDescriptor imageFiles;
        imageFiles.filter = FetchDescriptor::Filter::withImageFile;
        const auto withImages = m_context.fetch(imageFiles);
        if (!withImages)
            return;
        for (const ClipItemPtr &item : withImages.value())
            named.insert(*item->imageFileRef());
    }
    m_imageStore.sweep(named, m_clock.now(), kSweepGraceSeconds);
}

} // namespace scrivlet
