// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchIndex.h"

#include "ModelContext.h"
#include "core/filter/ClipFilter.h"

#include <algorithm>
#include <limits>
#include <openssl/crypto.h>
#include <string_view>

namespace scrivlet {

namespace {

constexpr int kBuildPage = 1000;
constexpr double kNeverPinned = -std::numeric_limits<double>::infinity();

std::string foldedUtf8(const QString &text)
{
    // UTF-8 keeps the index at about half the size of UTF-16, and a byte
    // substring of valid UTF-8 is a substring of its characters.
    const QByteArray bytes = foldForSearch(text).toUtf8();
    return {bytes.constData(), std::size_t(bytes.size())};
}

} // namespace

struct SearchIndex::Entry
{
    qint64 seq = 0;
    double pinnedAt = kNeverPinned;
    bool pinned = false;
    bool live = true;
    QUuid id;
    std::string folded;

    Entry() = default;
    Entry(const Entry &) = delete;
    Entry &operator=(const Entry &) = delete;
    Entry(Entry &&other) noexcept = default;
    Entry &operator=(Entry &&other) noexcept
    {
        wipe();
        seq = other.seq;
        pinnedAt = other.pinnedAt;
        pinned = other.pinned;
        live = other.live;
        id = other.id;
        folded = std::move(other.folded);
        return *this;
    }
    ~Entry() { wipe(); }

    void wipe()
    {
        if (folded.capacity() > 0)
            OPENSSL_cleanse(folded.data(), folded.capacity());
        folded.clear();
    }

    // Display order: pinned first, the most recently pinned first (an
    // absent time the earliest), then newest first.
    [[nodiscard]] bool showsBefore(const Entry &other) const
    {
        if (pinned != other.pinned)
            return pinned;
        if (pinned && pinnedAt != other.pinnedAt)
            return pinnedAt > other.pinnedAt;
        return seq > other.seq;
    }
};

SearchIndex::SearchIndex(ModelContext &context)
    : m_context(context)
{ }

SearchIndex::~SearchIndex() = default;

void SearchIndex::build()
{
    while (!buildStep()) {
        if (m_failed)
            return; // unbuilt, tried again at the next query
    }
}

bool SearchIndex::buildStep()
{
    if (m_built)
        return true;
    // A page at a time, oldest first, so that only a page of payloads is in
    // memory at once. What is recorded between pages comes last and is read
    // by a later page; what is removed from the part already read moves the
    // pages back by one (see `removed`).
    FetchDescriptor page;
    page.sort = FetchDescriptor::Sort::seqAscending;
    page.limit = kBuildPage;
    page.offset = m_buildOffset;
    auto fetched = m_context.fetch(page);
    m_failed = !fetched;
    if (!fetched)
        return false;
    for (const ClipItemPtr &item : fetched.value())
        append(*item);
    m_buildOffset += int(fetched.value().size());
    if (int(fetched.value().size()) < kBuildPage) {
        m_entries.shrink_to_fit();
        m_built = true;
        invalidateNarrowing();
    }
    return m_built;
}

std::vector<SearchIndex::Hit> SearchIndex::search(
    const QString &query, int limit, bool withPositions)
{
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty() || limit <= 0)
        return {};
    build();
    const std::string needle = foldedUtf8(trimmed);

    const auto contains = [&](std::size_t i) {
        const Entry &entry = m_entries[i];
        return entry.live && std::string_view(entry.folded).find(needle) != std::string_view::npos;
    };
    // Pinned entries, wherever they are in the history, come first.
    std::vector<std::size_t> matches;
    for (const qint64 seq : m_pinnedSeqs) {
        if (const Entry *entry = find(seq);
            entry && contains(std::size_t(entry - m_entries.data())))
            matches.push_back(std::size_t(entry - m_entries.data()));
    }
    const auto showsBefore
        = [this](std::size_t a, std::size_t b) { return m_entries[a].showsBefore(m_entries[b]); };
    std::sort(matches.begin(), matches.end(), showsBefore);

    // Then the others newest first, which is the index's order backwards:
    // the walk stops once the list is full, so that a common query reads
    // only the newest few hundred entries.
    std::vector<std::size_t> unpinned;
    bool complete = true;
    const auto consider = [&](std::size_t i) {
        if (m_entries[i].pinned || !contains(i))
            return true;
        unpinned.push_back(i);
        complete = matches.size() + unpinned.size() < std::size_t(limit);
        return complete;
    };
    const bool narrowing = m_narrowable && needle.find(m_lastNeedle) != std::string::npos;
    bool going = matches.size() < std::size_t(limit);
    for (std::size_t i = m_entries.size(); going && i > (narrowing ? m_lastSize : 0); --i)
        going = consider(i - 1);
    if (narrowing) {
        for (auto at = m_lastMatches.begin(); going && at != m_lastMatches.end(); ++at)
            going = consider(*at);
    }
    complete = complete && going;
    // Only a walk that went through everything can narrow the next one.
    m_narrowable = complete;
    if (complete) {
        m_lastNeedle = needle;
        m_lastMatches = unpinned;
        m_lastSize = m_entries.size();
    }
    matches.insert(matches.end(), unpinned.begin(), unpinned.end());
    const std::size_t shown = std::min(matches.size(), std::size_t(limit));
    matches.resize(shown);

    std::vector<int> positions;
    if (withPositions) {
        std::vector<std::size_t> order;
        order.reserve(m_entries.size() - m_tombstones);
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].live)
                order.push_back(i);
        }
        std::sort(order.begin(), order.end(), showsBefore);
        positions.assign(m_entries.size(), 0);
        for (std::size_t p = 0; p < order.size(); ++p)
            positions[order[p]] = int(p) + 1;
    }

    std::vector<Hit> hits;
    hits.reserve(shown);
    for (const std::size_t i : matches)
        hits.push_back({m_entries[i].id, withPositions ? positions[i] : 0});
    return hits;
}

SearchIndex::Entry *SearchIndex::find(qint64 seq)
{
    const auto found = std::lower_bound(m_entries.begin(), m_entries.end(), seq,
        [](const Entry &entry, qint64 s) { return entry.seq < s; });
    if (found == m_entries.end() || found->seq != seq || !found->live)
        return nullptr;
    return &*found;
}

void SearchIndex::append(const ClipItem &item)
{
    Entry entry;
    entry.seq = item.seq();
    entry.pinned = item.isPinned();
    entry.pinnedAt = item.pinnedAt().value_or(kNeverPinned);
    entry.id = item.id();
    entry.folded = foldedUtf8(item.text());
    if (entry.pinned)
        m_pinnedSeqs.insert(entry.seq);
    if (m_entries.empty() || m_entries.back().seq < entry.seq) {
        m_entries.push_back(std::move(entry));
        return;
    }
    // Only a record written by another process can arrive out of order.
    const auto at = std::upper_bound(m_entries.begin(), m_entries.end(), entry.seq,
        [](qint64 s, const Entry &e) { return s < e.seq; });
    m_entries.insert(at, std::move(entry));
    invalidateNarrowing();
}

void SearchIndex::inserted(const ClipItem &item)
{
    // While building, a later page reads it.
    if (!m_built || find(item.seq()))
        return;
    append(item);
}

void SearchIndex::removed(const ClipItem &item)
{
    Entry *entry = find(item.seq());
    if (!entry)
        return;
    entry->wipe();
    entry->live = false;
    m_pinnedSeqs.erase(entry->seq);
    ++m_tombstones;
    if (!m_built)
        --m_buildOffset;
    if (m_tombstones > m_entries.size() / 2)
        compact();
}

void SearchIndex::pinChanged(const ClipItem &item)
{
    // Before the build reaches it, the record is read as it is then.
    if (Entry *entry = find(item.seq())) {
        entry->pinned = item.isPinned();
        entry->pinnedAt = item.pinnedAt().value_or(kNeverPinned);
        if (entry->pinned)
            m_pinnedSeqs.insert(entry->seq);
        else
            m_pinnedSeqs.erase(entry->seq);
        // The previous matches hold only unpinned entries.
        invalidateNarrowing();
    }
}

void SearchIndex::compact()
{
    std::erase_if(m_entries, [](const Entry &entry) { return !entry.live; });
    m_tombstones = 0;
    invalidateNarrowing();
}

void SearchIndex::invalidateNarrowing()
{
    m_narrowable = false;
    m_lastNeedle.clear();
    m_lastMatches.clear();
}

} // namespace scrivlet
