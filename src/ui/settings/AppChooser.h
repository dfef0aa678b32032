// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/desktop/DesktopEntries.h"

#include <QDialog>
#include <optional>

class QLineEdit;
class QListWidget;

namespace scrivlet {

class AppIconCache;

// Picks one installed application by name or id, to exclude it.
class AppChooser : public QDialog
{
    Q_OBJECT

public:
    AppChooser(const std::vector<DesktopEntries::Entry> &entries, AppIconCache *icons,
        QWidget *parent = nullptr);

    // The chosen application's id; none when cancelled.
    [[nodiscard]] std::optional<QString> chosenId() const;
    [[nodiscard]] QLineEdit &searchField() { return *m_search; }
    [[nodiscard]] QListWidget &list() { return *m_list; }

private:
    void filter(const QString &query);

    QLineEdit *m_search;
    QListWidget *m_list;
};

} // namespace scrivlet
