// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasteKeys.h"

#include "DefaultsStore.h"
#include "core/desktop/DesktopEntries.h"

#include <QJsonObject>

namespace scrivlet {

namespace {

// Window classes of terminals whose desktop entry may be missing or not
// categorised.
const QStringList kTerminalClasses = {QStringLiteral("alacritty"), QStringLiteral("foot"),
    QStringLiteral("footclient"), QStringLiteral("gnome-terminal"),
    QStringLiteral("gnome-terminal-server"), QStringLiteral("guake"), QStringLiteral("kgx"),
    QStringLiteral("kitty"), QStringLiteral("konsole"), QStringLiteral("lxterminal"),
    QStringLiteral("mate-terminal"), QStringLiteral("org.gnome.console"),
    QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("ptyxis"), QStringLiteral("qterminal"),
    QStringLiteral("sakura"), QStringLiteral("terminator"), QStringLiteral("terminology"),
    QStringLiteral("tilda"), QStringLiteral("tilix"), QStringLiteral("urxvt"),
    QStringLiteral("wezterm"), QStringLiteral("xfce4-terminal"), QStringLiteral("st-256color")};

} // namespace

std::optional<PasteKey> pasteKeyFromName(const QString &name)
{
    const QString key = name.trimmed().toLower().remove(QLatin1Char(' '));
    if (key == QLatin1String("ctrl+v"))
        return PasteKey::ctrlV;
    if (key == QLatin1String("ctrl+shift+v") || key == QLatin1String("shift+ctrl+v"))
        return PasteKey::ctrlShiftV;
    if (key == QLatin1String("shift+insert"))
        return PasteKey::shiftInsert;
    return std::nullopt;
}

PasteKey pasteKeyFor(const std::optional<QString> &applicationId, const QString &windowClass,
    DesktopEntries &entries, const DefaultsStore &defaults)
{
    if (applicationId) {
        const QJsonObject overrides = defaults.value(QStringLiteral("pasteKeys")).toObject();
        if (const auto chosen = pasteKeyFromName(overrides.value(*applicationId).toString()))
            return *chosen;
        if (const auto entry = entries.byId(*applicationId);
            entry && entry->categories.contains(QLatin1String("TerminalEmulator")))
            return PasteKey::ctrlShiftV;
    }
    if (kTerminalClasses.contains(windowClass.toLower()))
        return PasteKey::ctrlShiftV;
    return PasteKey::ctrlV;
}

} // namespace scrivlet
