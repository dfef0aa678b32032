// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <utility>
#include <vector>

namespace scrivlet {

// The palette's foot: a hint per key (its glyph, then what it does) and the
// size grip. The gaps between the hints give way first when the window is
// narrow, so the hints themselves stay whole.
class PaletteFooter : public QWidget
{
    Q_OBJECT

public:
    PaletteFooter(const std::vector<std::pair<QString, QString>> &hints, QWidget *parent);
};

} // namespace scrivlet
