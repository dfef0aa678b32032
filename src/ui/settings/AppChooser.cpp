// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppChooser.h"

#include "ui/AppIconCache.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace scrivlet {

namespace {

constexpr int kIdRole = Qt::UserRole;

} // namespace

AppChooser::AppChooser(
    const std::vector<DesktopEntries::Entry> &entries, AppIconCache *icons, QWidget *parent)
    : QDialog(parent)
    , m_search(new QLineEdit(this))
    , m_list(new QListWidget(this))
{
    setWindowTitle(tr("Ajouter une app"));
    resize(380, 460);
    m_search->setPlaceholderText(tr("Rechercher une application"));
    m_search->setClearButtonEnabled(true);
    m_list->setIconSize(QSize(24, 24));
    m_list->setUniformItemSizes(true);

    std::vector<const DesktopEntries::Entry *> shown;
    for (const DesktopEntries::Entry &entry : entries) {
        if (!entry.hidden)
            shown.push_back(&entry);
    }
    std::sort(shown.begin(), shown.end(), [](const auto *a, const auto *b) {
        return QString::localeAwareCompare(a->name, b->name) < 0;
    });
    for (const DesktopEntries::Entry *entry : shown) {
        auto *item = new QListWidgetItem(entry->name.isEmpty() ? entry->id : entry->name, m_list);
        item->setData(kIdRole, entry->id);
        item->setToolTip(entry->id);
        if (icons) {
            if (const std::optional<QIcon> icon = icons->icon(entry->id))
                item->setIcon(*icon);
        }
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Ajouter"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Annuler"));
    QPushButton *add = buttons->button(QDialogButtonBox::Ok);
    add->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::currentItemChanged, this,
        [add](QListWidgetItem *current) { add->setEnabled(current && !current->isHidden()); });
    connect(m_list, &QListWidget::itemActivated, this, &QDialog::accept);
    connect(m_search, &QLineEdit::textChanged, this, &AppChooser::filter);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    m_search->setFocus();
}

void AppChooser::filter(const QString &query)
{
    QListWidgetItem *firstShown = nullptr;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem *item = m_list->item(row);
        const bool match = query.isEmpty() || item->text().contains(query, Qt::CaseInsensitive)
            || item->data(kIdRole).toString().contains(query, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (match && !firstShown)
            firstShown = item;
    }
    if (!m_list->currentItem() || m_list->currentItem()->isHidden())
        m_list->setCurrentItem(firstShown);
}

std::optional<QString> AppChooser::chosenId() const
{
    if (result() != QDialog::Accepted || !m_list->currentItem()
        || m_list->currentItem()->isHidden())
        return std::nullopt;
    return m_list->currentItem()->data(kIdRole).toString();
}

} // namespace scrivlet
