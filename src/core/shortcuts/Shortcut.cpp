// SPDX-License-Identifier: GPL-3.0-or-later
#include "Shortcut.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace scrivlet::GlobalShortcuts {

namespace {

constexpr int kMaxKeyCode = 1023;

struct Special
{
    int code;
    const char *text; // nullptr: the localised "space_key"
};

// Keys that type nothing and have a text of their own.
constexpr Special kSpecial[] = {
    {36, "↩"},
    {51, "⌫"},
    {117, "⌦"},
    {119, "↘"},
    {53, "⎋"},
    {114, "?\u20dd"},
    {115, "↖"},
    {49, nullptr},
    {48, "⇥"},
    {116, "⇞"},
    {121, "⇟"},
    {126, "↑"},
    {124, "→"},
    {125, "↓"},
    {123, "←"},
    {122, "F1"},
    {120, "F2"},
    {99, "F3"},
    {118, "F4"},
    {96, "F5"},
    {97, "F6"},
    {98, "F7"},
    {100, "F8"},
    {101, "F9"},
    {109, "F10"},
    {103, "F11"},
    {111, "F12"},
    {105, "F13"},
    {107, "F14"},
    {113, "F15"},
    {106, "F16"},
    {64, "F17"},
    {79, "F18"},
    {80, "F19"},
    {90, "F20"},
    {82, "0\u20e3"},
    {83, "1\u20e3"},
    {84, "2\u20e3"},
    {85, "3\u20e3"},
    {86, "4\u20e3"},
    {87, "5\u20e3"},
    {88, "6\u20e3"},
    {89, "7\u20e3"},
    {91, "8\u20e3"},
    {92, "9\u20e3"},
    {71, "☒\u20e3"},
    {65, ".\u20e3"},
    {75, "/\u20e3"},
    {76, "↩\u20e3"},
    {81, "=\u20e3"},
    {78, "-\u20e3"},
    {67, "*\u20e3"},
    {69, "+\u20e3"},
};

struct Message
{
    const char *key;
    const char *french;
    const char *english;
};

constexpr Message kMessages[] = {
    {"space_key", "espace", "space"},
    {"shift_modifier", "Maj", "Shift"},
    {"record_shortcut", "Enregistrer un raccourci", "Record Shortcut"},
    {"press_shortcut", "Tapez le raccourci", "Press Shortcut"},
    {"keyboard_shortcut_used_by_menu_item",
        "Ce raccourci ne peut pas être utilisé : l’élément de menu « %1 » s’en sert déjà.",
        "This keyboard shortcut cannot be used: the “%1” menu item already uses it."},
    {"keyboard_shortcut_disallowed", "Ce raccourci clavier n’est pas autorisé.",
        "This keyboard shortcut is not allowed."},
    {"keyboard_shortcut_used_by_system",
        "Ce raccourci clavier est déjà pris par le bureau ou par un autre programme.",
        "This keyboard shortcut is already taken by the desktop or by another program."},
    {"keyboard_shortcuts_can_be_changed",
        "Les raccourcis du bureau se changent dans les réglages du clavier. Utilisé quand même, "
        "celui-ci ne fonctionnera qu’une fois libéré par l’autre programme.",
        "Desktop shortcuts can be changed in the keyboard settings. Used anyway, this one "
        "will only work once the other program lets go of it."},
    {"clear_shortcut", "Effacer le raccourci", "Clear Shortcut"},
    {"ok", "OK", "OK"},
    {"force_use_shortcut", "Utiliser quand même", "Use Anyway"},
};

// A whole JSON number within [minimum, maximum].
std::optional<int> wholeNumber(const QJsonValue &value, int minimum, int maximum)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) || number < minimum
        || number > maximum)
        return std::nullopt;
    return int(number);
}

} // namespace

QString message(const QString &key, Language language)
{
    for (const Message &entry : kMessages) {
        if (key == QLatin1String(entry.key))
            return QString::fromUtf8(language == Language::french ? entry.french : entry.english);
    }
    return key;
}

Shortcut Shortcut::make(int keyCode, int modifiers)
{
    return Shortcut {keyCode, modifiers & Modifier::known};
}

QByteArray Shortcut::toJson() const
{
    // Both members, in this order: QJsonDocument orders keys alphabetically,
    // which happens to be it.
    QJsonObject object {{QStringLiteral("carbonKeyCode"), carbonKeyCode},
        {QStringLiteral("carbonModifiers"), carbonModifiers}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Shortcut> Shortcut::fromJson(const QByteArray &json)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto code = wholeNumber(object.value(QStringLiteral("carbonKeyCode")), 0, kMaxKeyCode);
    const auto modifiers = wholeNumber(object.value(QStringLiteral("carbonModifiers")),
        std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    if (!code || !modifiers)
        return std::nullopt;
    return make(*code, *modifiers);
}

QString Shortcut::displayText(
    Language language, const std::function<std::optional<QString>(Key)> &character) const
{
    QString text;
    // Linux's order and names of the modifiers.
    if (carbonModifiers & Modifier::control)
        text += QStringLiteral("Ctrl+");
    if (carbonModifiers & Modifier::option)
        text += QStringLiteral("Alt+");
    if (carbonModifiers & Modifier::shift)
        text += message(QStringLiteral("shift_modifier"), language) + QLatin1Char('+');
    if (carbonModifiers & Modifier::command)
        text += QStringLiteral("Super+");
    if (carbonModifiers & Modifier::function)
        text += QStringLiteral("Fn+");

    for (const Special &special : kSpecial) {
        if (special.code != carbonKeyCode)
            continue;
        if (special.text)
            return text + QString::fromUtf8(special.text);
        const QString space = message(QStringLiteral("space_key"), language);
        return text + space.left(1).toUpper() + space.mid(1);
    }
    std::optional<QString> typed = character ? character(key()) : std::nullopt;
    if (!typed)
        typed = key().usCharacter();
    // One character, capitalised; the replacement character otherwise.
    if (!typed || typed->isEmpty())
        return text + QChar(QChar::ReplacementCharacter);
    return text + typed->toUpper();
}

} // namespace scrivlet::GlobalShortcuts
