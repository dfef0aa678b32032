// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtColorScheme.h"

#include "PortalColorScheme.h"

#include <QGuiApplication>
#include <QStyleHints>

namespace scrivlet {

#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)

QtColorScheme::QtColorScheme(QObject *parent)
    : ColorScheme(parent)
{
    connect(QGuiApplication::styleHints(), &QStyleHints::colorSchemeChanged, this,
        &ColorScheme::changed);
}

std::optional<bool> QtColorScheme::prefersDark()
{
    switch (QGuiApplication::styleHints()->colorScheme()) {
    case Qt::ColorScheme::Dark:
        return true;
    case Qt::ColorScheme::Light:
        return false;
    case Qt::ColorScheme::Unknown:
        break;
    }
    return std::nullopt;
}

bool QtColorScheme::isKnown()
{
    return QGuiApplication::styleHints()->colorScheme() != Qt::ColorScheme::Unknown;
}

#endif

std::unique_ptr<ColorScheme> makeDesktopColorScheme(QObject *parent)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    // Qt's generic theme (sway, or KDE without KDE_SESSION_VERSION) knows no
    // scheme, and its GNOME theme only learns the portal's a moment after
    // start: the portal itself answers for both.
    if (QtColorScheme::isKnown())
        return std::make_unique<QtColorScheme>(parent);
#endif
    return std::make_unique<PortalColorScheme>(parent);
}

} // namespace scrivlet
