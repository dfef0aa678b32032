// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteFooter.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QSizeGrip>

namespace scrivlet {

namespace {

QWidget *hint(const QString &glyph, const QString &word, QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    auto *key = new QLabel(glyph, box);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(std::max(7.0, QApplication::font().pointSizeF() * 0.8));
    key->setFont(mono);
    auto *label = new QLabel(word, box);
    QFont small = label->font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.8));
    label->setFont(small);
    label->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(key);
    layout->addWidget(label);
    return box;
}

} // namespace

PaletteFooter::PaletteFooter(const std::vector<std::pair<QString, QString>> &hints, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 2, 2);
    layout->setSpacing(0);
    for (const auto &[glyph, word] : hints) {
        if (layout->count())
            layout->addSpacerItem(new QSpacerItem(14, 0, QSizePolicy::Preferred));
        layout->addWidget(hint(glyph, word, this));
    }
    layout->addStretch(1);
    layout->addWidget(new QSizeGrip(this), 0, Qt::AlignBottom | Qt::AlignRight);
}

} // namespace scrivlet
