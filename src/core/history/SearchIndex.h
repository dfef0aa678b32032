// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClipItem.h"

#include <QUuid>
#include <set>
#include <string>
#include <vector>

namespace scrivlet {

class ModelContext;

// The folded text of every entry, kept in memory only, so that a query looks
// through the whole history without opening a payload. Built once, at the
// first query or a page at a time when the program is idle, and told of
// every change by the store.
class SearchIndex
{
public:
    struct Hit
    {
        QUuid id;
        // 1-based, in the display order of the whole history.
        int position = 0;
    };

    explicit SearchIndex(ModelContext &context);
    ~SearchIndex();
    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    [[nodiscard]] bool isBuilt() const { return m_built; }
    void build();
    // Reads the next page of the history; whether the index is complete.
    // Entries may be recorded and removed between steps.
    bool buildStep();

    // The entries whose text contains the query, in display order, at most
    // `limit`; positions are filled only when asked, as they cost a sort of
    // the whole history. A blank query matches nothing.
    [[nodiscard]] std::vector<Hit> search(const QString &query, int limit, bool withPositions);

    void inserted(const ClipItem &item);
    void removed(const ClipItem &item);
    void pinChanged(const ClipItem &item);

private:
    struct Entry;
    [[nodiscard]] Entry *find(qint64 seq);
    void append(const ClipItem &item);
    void invalidateNarrowing();
    void compact();

    ModelContext &m_context;
    // Ordered by seq; removed entries stay as tombstones until compacted,
    // so that clearing a long history is not quadratic.
    std::vector<Entry> m_entries;
    std::size_t m_tombstones = 0;
    std::set<qint64> m_pinnedSeqs;
    bool m_built = false;
    bool m_failed = false;
    int m_buildOffset = 0;
    // The previous query's unpinned matches, newest first, when it looked
    // through everything: a query that extends it need only look at them
    // and at what was recorded since.
    std::string m_lastNeedle;
    std::vector<std::size_t> m_lastMatches;
    std::size_t m_lastSize = 0;
    bool m_narrowable = false;
};

} // namespace scrivlet
