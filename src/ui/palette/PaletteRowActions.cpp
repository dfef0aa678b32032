// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteRowActions.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>

namespace scrivlet {

namespace {

QToolButton *button(QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setFixedSize(PaletteRowActions::kButtonSize, PaletteRowActions::kButtonSize);
    button->setIconSize(QSize(16, 16));
    return button;
}

} // namespace

PaletteRowActions::PaletteRowActions(QWidget *viewport)
    : QWidget(viewport)
    , m_pin(button(this))
    , m_remove(button(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    layout->addWidget(m_pin);
    layout->addWidget(m_remove);
    setFixedSize(kSize);

    const QString removeText = tr("Supprimer de l'historique");
    m_remove->setIcon(
        QIcon::fromTheme(QStringLiteral("user-trash"), QIcon(QStringLiteral(":/icons/trash.svg"))));
    m_remove->setToolTip(removeText);
    m_remove->setAccessibleName(removeText);
    connect(m_pin, &QToolButton::clicked, this, [this] { Q_EMIT pinClicked(m_row); });
    connect(m_remove, &QToolButton::clicked, this, [this] { Q_EMIT removeClicked(m_row); });
    hide();
}

void PaletteRowActions::showOver(int row, const QRect &area, bool pinned, const QString &entry)
{
    m_row = row;
    const QString pinText = pinned ? tr("Désépingler") : tr("Épingler");
    m_pin->setIcon(QIcon(pinned ? QStringLiteral(":/icons/pin-slash.svg")
                                : QStringLiteral(":/icons/pin-outline.svg")));
    m_pin->setToolTip(pinText);
    m_pin->setAccessibleName(pinText);
    m_pin->setAccessibleDescription(entry);
    m_remove->setAccessibleDescription(entry);
    move(area.topLeft());
    show();
    raise();
}

void PaletteRowActions::conceal()
{
    m_row = -1;
    hide();
}

bool PaletteRowActions::hasKeyboard() const
{
    return m_pin->hasFocus() || m_remove->hasFocus();
}

} // namespace scrivlet
