// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReservedShortcuts.h"

#include <QCoreApplication>

namespace scrivlet {

namespace {

namespace Modifier = GlobalShortcuts::Modifier;

constexpr const char *kContext = "ReservedShortcuts";

struct ReservedLetter
{
    char letter;
    int modifiers;
    const char *use;
};

constexpr ReservedLetter kLetters[] = {
    {'x', Modifier::control, QT_TRANSLATE_NOOP("ReservedShortcuts", "Couper")},
    {'c', Modifier::control, QT_TRANSLATE_NOOP("ReservedShortcuts", "Copier")},
    {'v', Modifier::control, QT_TRANSLATE_NOOP("ReservedShortcuts", "Coller")},
    {'v', Modifier::control | Modifier::shift,
        QT_TRANSLATE_NOOP("ReservedShortcuts", "Coller sans mise en forme")},
    {'z', Modifier::control, QT_TRANSLATE_NOOP("ReservedShortcuts", "Annuler")},
    {'y', Modifier::control, QT_TRANSLATE_NOOP("ReservedShortcuts", "Rétablir")},
    {'a', Modifier::control, QT_TRANSLATE_NOOP("ReservedShortcuts", "Tout sélectionner")},
    {'p', Modifier::control, QT_TRANSLATE_NOOP("ReservedShortcuts", "Palette : épingler")},
};

struct ReservedKey
{
    int keyCode;
    int modifiers;
    const char *use;
};

// Key codes are positions (36 Return, 76 keypad Enter, 114 Insert, 51 Backspace).
constexpr ReservedKey kKeys[] = {
    {114, Modifier::shift, QT_TRANSLATE_NOOP("ReservedShortcuts", "Coller")},
    {36, 0, QT_TRANSLATE_NOOP("ReservedShortcuts", "Palette : coller")},
    {76, 0, QT_TRANSLATE_NOOP("ReservedShortcuts", "Palette : coller")},
    {36, Modifier::shift, QT_TRANSLATE_NOOP("ReservedShortcuts", "Palette : coller en texte brut")},
    {76, Modifier::shift, QT_TRANSLATE_NOOP("ReservedShortcuts", "Palette : coller en texte brut")},
    {126, 0, QT_TRANSLATE_NOOP("ReservedShortcuts", "Palette : élément précédent")},
    {125, 0, QT_TRANSLATE_NOOP("ReservedShortcuts", "Palette : élément suivant")},
    {51, Modifier::control, QT_TRANSLATE_NOOP("ReservedShortcuts", "Palette : supprimer")},
};

// The digit row 1…9 and the keypad's digits: Ctrl+digit in the palette.
constexpr int kDigitRow[] = {18, 19, 20, 21, 23, 22, 26, 28, 25};
constexpr int kKeypadDigits[] = {83, 84, 85, 86, 87, 88, 89, 91, 92};

std::optional<char> latinLetter(const std::optional<QString> &text)
{
    if (!text || text->size() != 1)
        return std::nullopt;
    const char16_t c = text->at(0).toLower().unicode();
    if (c < u'a' || c > u'z')
        return std::nullopt;
    return char(c);
}

} // namespace

std::optional<QString> reservedUse(const GlobalShortcuts::Shortcut &shortcut,
    const std::function<std::optional<QString>(GlobalShortcuts::Key)> &character)
{
    const GlobalShortcuts::Key key = shortcut.key();
    std::optional<char> letter = character ? latinLetter(character(key)) : std::nullopt;
    if (!letter)
        letter = latinLetter(key.usCharacter());
    for (const ReservedLetter &reserved : kLetters) {
        if (letter == reserved.letter && shortcut.carbonModifiers == reserved.modifiers)
            return QCoreApplication::translate(kContext, reserved.use);
    }
    for (const ReservedKey &reserved : kKeys) {
        if (shortcut == GlobalShortcuts::Shortcut {reserved.keyCode, reserved.modifiers})
            return QCoreApplication::translate(kContext, reserved.use);
    }
    if (shortcut.carbonModifiers != Modifier::control)
        return std::nullopt;
    if (const std::optional<int> digit = quickKeyDigit(key))
        return QCoreApplication::translate("ReservedShortcuts", "Palette : coller l'élément %1")
            .arg(*digit);
    return std::nullopt;
}

std::optional<int> quickKeyDigit(GlobalShortcuts::Key key)
{
    for (int digit = 0; digit < 9; ++digit) {
        if (key.rawValue == kDigitRow[digit] || key.rawValue == kKeypadDigits[digit])
            return digit + 1;
    }
    return std::nullopt;
}

} // namespace scrivlet
