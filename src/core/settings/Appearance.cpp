// SPDX-License-Identifier: GPL-3.0-or-later
#include "Appearance.h"

#include <QtGlobal>

namespace scrivlet {

QString rawValue(AppAppearance appearance)
{
    switch (appearance) {
    case AppAppearance::system:
        break;
    case AppAppearance::light:
        return QStringLiteral("light");
    case AppAppearance::dark:
        return QStringLiteral("dark");
    }
    return QStringLiteral("system");
}

std::optional<AppAppearance> appAppearanceFromRaw(const QString &raw)
{
    for (AppAppearance appearance :
        {AppAppearance::system, AppAppearance::light, AppAppearance::dark}) {
        if (raw == rawValue(appearance))
            return appearance;
    }
    return std::nullopt;
}

AppAppearance appAppearanceOrSystem(const QString &raw)
{
    return appAppearanceFromRaw(raw).value_or(AppAppearance::system);
}

const std::vector<AccentChoice> &AccentChoice::all()
{
    static const std::vector<AccentChoice> choices {
        {QStringLiteral("system"), QT_TRANSLATE_NOOP("AccentChoice", "Couleur du système"),
            std::nullopt},
        {QStringLiteral("tavane"), QT_TRANSLATE_NOOP("AccentChoice", "Tavane"),
            Rgb {0.8, 0.45, 0.2}},
        {QStringLiteral("bleu"), QT_TRANSLATE_NOOP("AccentChoice", "Bleu"), Rgb {0.2, 0.55, 0.95}},
        {QStringLiteral("vert"), QT_TRANSLATE_NOOP("AccentChoice", "Vert"), Rgb {0.25, 0.7, 0.45}},
        {QStringLiteral("violet"), QT_TRANSLATE_NOOP("AccentChoice", "Violet"),
            Rgb {0.6, 0.45, 0.95}},
        {QStringLiteral("rose"), QT_TRANSLATE_NOOP("AccentChoice", "Rose"), Rgb {0.95, 0.35, 0.6}},
        {QStringLiteral("rouge"), QT_TRANSLATE_NOOP("AccentChoice", "Rouge"), Rgb {0.9, 0.3, 0.3}},
        {QStringLiteral("orange"), QT_TRANSLATE_NOOP("AccentChoice", "Orange"),
            Rgb {0.95, 0.55, 0.15}},
    };
    return choices;
}

const AccentChoice &AccentChoice::by(const QString &id)
{
    for (const AccentChoice &choice : all()) {
        if (choice.id == id)
            return choice;
    }
    return all().front();
}

} // namespace scrivlet
