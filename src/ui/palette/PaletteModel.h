// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/history/ClipItem.h"

#include <QAbstractListModel>
#include <QString>
#include <vector>

namespace scrivlet {

class ClipStore;

// What the palette shows and acts on: the newest entries, or the matches of
// the query in the whole history, and a selection in that list. Every action checks that its
// entry is still in the history; one that vanished (pruned, cleared) is never
// acted on, and the list is reloaded instead.
class PaletteModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr int kHistoryWindow = 200;
    static constexpr int kQuickKeys = 9;
    enum Role { ItemRole = Qt::UserRole + 1, QuickKeyRole, SelectedRole };

    explicit PaletteModel(ClipStore &store, QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;

    // Fetches the newest entries again and selects the first row.
    void reload();
    [[nodiscard]] const QString &query() const { return m_query; }
    void setQuery(const QString &query);
    [[nodiscard]] int selection() const { return m_selection; }
    void setSelection(int row);
    [[nodiscard]] ClipItemPtr entryAt(int row) const;
    // "Aucun élément" or "Aucun résultat" when nothing is listed.
    [[nodiscard]] QString emptyText() const;

    void move(int delta);
    void pasteAt(int row, bool plain);
    void togglePinAt(int row);
    void deleteAt(int row);

Q_SIGNALS:
    void pasteRequested(const ClipItemPtr &item, bool plain);
    void selectionChanged(int row);

private:
    // The entry at `row` if it is still in the history; otherwise reloads.
    [[nodiscard]] ClipItemPtr liveEntryAt(int row);
    void refilter();
    [[nodiscard]] std::vector<ClipItemPtr> listed() const;

    ClipStore &m_store;
    std::vector<ClipItemPtr> m_filtered;
    QString m_query;
    int m_selection = 0;
};

} // namespace scrivlet
