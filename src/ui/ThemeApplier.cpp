// SPDX-License-Identifier: GPL-3.0-or-later
#include "ThemeApplier.h"

#include "core/services/ColorScheme.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

namespace scrivlet {

namespace {

#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
// A palette derived from one colour fixes every role, Accent (white)
// included; left unset, Accent resolves to the platform theme's, the
// desktop's own accent.
QPalette withSystemAccent(const QPalette &fixed)
{
    QPalette palette;
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto colorGroup = QPalette::ColorGroup(group);
            const auto colorRole = QPalette::ColorRole(role);
            if (colorRole != QPalette::Accent && fixed.isBrushSet(colorGroup, colorRole))
                palette.setBrush(colorGroup, colorRole, fixed.brush(colorGroup, colorRole));
        }
    }
    return palette;
}

// Qt's KDE theme without KDE's own platform plugin has no accent and leaves
// white; an accent is a colour, not a shade of grey.
bool isColourful(const QColor &accent)
{
    constexpr int kColourful = 64;
    return accent.hsvSaturation() >= kColourful;
}
#endif

} // namespace

ThemeApplier::ThemeApplier(ColorScheme &scheme, QObject *parent)
    : QObject(parent)
    , m_scheme(scheme)
{
    connect(&m_scheme, &ColorScheme::changed, this, [this] {
        if (m_appearance == AppAppearance::system)
            update();
    });
}

void ThemeApplier::apply(AppAppearance appearance)
{
    m_appearance = appearance;
    update();
}

void ThemeApplier::update()
{
    switch (m_appearance) {
    case AppAppearance::system:
        m_dark = m_scheme.prefersDark().value_or(false);
        break;
    case AppAppearance::light:
        m_dark = false;
        break;
    case AppAppearance::dark:
        m_dark = true;
        break;
    }
    // Fusion draws from the palette alone, so both looks are complete.
    if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(m_dark ? darkPalette() : lightPalette());
}

QPalette ThemeApplier::lightPalette()
{
    QPalette palette(QColor(0xef, 0xef, 0xef));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    return withSystemAccent(palette);
#else
    return palette;
#endif
}

QPalette ThemeApplier::darkPalette()
{
    QPalette palette;
    const QColor window(0x2b, 0x2b, 0x2e);
    const QColor text(0xe8, 0xe8, 0xea);
    const QColor disabled(0x80, 0x80, 0x84);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x22));
    palette.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x37));
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabled);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, QColor(0x48, 0x48, 0x4c));
    palette.setColor(QPalette::Midlight, QColor(0x3e, 0x3e, 0x42));
    palette.setColor(QPalette::Mid, QColor(0x26, 0x26, 0x29));
    palette.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Link, QColor(0x5a, 0xa8, 0xf0));
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x7d, 0xd1));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    return palette;
}

QColor ThemeApplier::accentColor(const AccentChoice &choice, const QPalette &palette)
{
    if (!choice.color) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
        const QColor accent = palette.color(QPalette::Accent);
        if (isColourful(accent))
            return accent;
#endif
        return palette.color(QPalette::Highlight);
    }
    return QColor::fromRgbF(
        float(choice.color->red), float(choice.color->green), float(choice.color->blue));
}

} // namespace scrivlet
