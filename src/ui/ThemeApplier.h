// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/settings/Appearance.h"

#include <QColor>
#include <QObject>
#include <QPalette>

namespace scrivlet {

class ColorScheme;

// Gives the whole application its light or dark look (Fusion palettes), or
// follows the desktop's preference, also as it changes.
class ThemeApplier : public QObject
{
    Q_OBJECT

public:
    explicit ThemeApplier(ColorScheme &scheme, QObject *parent = nullptr);

    void apply(AppAppearance appearance);

    static QPalette lightPalette();
    static QPalette darkPalette();
    // The colour of an accent choice; for the system's, the palette's accent
    // (Qt 6.6 on) when it is a colour, else its highlight.
    static QColor accentColor(const AccentChoice &choice, const QPalette &palette);

private:
    void update();

    ColorScheme &m_scheme;
    AppAppearance m_appearance = AppAppearance::system;
    bool m_dark = false;
};

} // namespace scrivlet
