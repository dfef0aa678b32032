// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteModel.h"

#include "core/history/ClipStore.h"

#include <algorithm>

namespace scrivlet {

PaletteModel::PaletteModel(ClipStore &store, QObject *parent)
    : QAbstractListModel(parent)
    , m_store(store)
{ }

int PaletteModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_filtered.size());
}

QVariant PaletteModel::data(const QModelIndex &index, int role) const
{
    const ClipItemPtr item = entryAt(index.row());
    if (!item)
        return {};
    switch (role) {
    case ItemRole:
        return QVariant::fromValue(item);
    case QuickKeyRole:
        return index.row() < kQuickKeys ? QVariant(index.row() + 1) : QVariant();
    case SelectedRole:
        return index.row() == m_selection;
    case Qt::AccessibleTextRole:
        return item->kind() == ClipKind::image ? tr("Image") : item->text().left(200);
    default:
        return {};
    }
}

void PaletteModel::reload()
{
    beginResetModel();
    m_filtered = listed();
    m_selection = 0;
    endResetModel();
    Q_EMIT selectionChanged(m_selection);
}

void PaletteModel::refilter()
{
    beginResetModel();
    // The same list the query gives on every use; kept until the query or
    // the entries change.
    m_filtered = listed();
    m_selection = 0;
    endResetModel();
    Q_EMIT selectionChanged(m_selection);
}

std::vector<ClipItemPtr> PaletteModel::listed() const
{
    // Without a query only the newest are read; a query looks through the
    // whole history, through the store's index of its text.
    if (m_query.trimmed().isEmpty())
        return m_store.recentItems(kHistoryWindow);
    std::vector<ClipItemPtr> items;
    for (ClipStore::Found &found : m_store.search(m_query, kHistoryWindow))
        items.push_back(std::move(found.item));
    return items;
}

void PaletteModel::setQuery(const QString &query)
{
    if (query == m_query)
        return;
    m_query = query;
    refilter();
}

void PaletteModel::setSelection(int row)
{
    if (row < 0 || row >= rowCount() || row == m_selection)
        return;
    const int previous = m_selection;
    m_selection = row;
    Q_EMIT dataChanged(index(previous), index(previous), {SelectedRole});
    Q_EMIT dataChanged(index(row), index(row), {SelectedRole});
    Q_EMIT selectionChanged(row);
}

ClipItemPtr PaletteModel::entryAt(int row) const
{
    if (row < 0 || row >= int(m_filtered.size()))
        return nullptr;
    return m_filtered[std::size_t(row)];
}

QString PaletteModel::emptyText() const
{
    if (!m_filtered.empty())
        return {};
    return m_query.isEmpty() ? tr("Aucun élément") : tr("Aucun résultat");
}

void PaletteModel::move(int delta)
{
    const int count = rowCount();
    if (count == 0)
        return;
    setSelection(std::max(0, std::min(m_selection + delta, count - 1)));
}

ClipItemPtr PaletteModel::liveEntryAt(int row)
{
    ClipItemPtr item = entryAt(row);
    if (item && !m_store.contains(item)) {
        reload();
        return nullptr;
    }
    return item;
}

void PaletteModel::pasteAt(int row, bool plain)
{
    if (ClipItemPtr item = liveEntryAt(row))
        Q_EMIT pasteRequested(item, plain);
}

void PaletteModel::togglePinAt(int row)
{
    if (ClipItemPtr item = liveEntryAt(row)) {
        m_store.togglePin(item);
        reload();
    }
}

void PaletteModel::deleteAt(int row)
{
    if (ClipItemPtr item = liveEntryAt(row)) {
        m_store.deleteItem(item);
        reload();
    }
}

} // namespace scrivlet
