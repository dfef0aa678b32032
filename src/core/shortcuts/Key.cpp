// SPDX-License-Identifier: GPL-3.0-or-later
#include "Key.h"

#include <array>

namespace scrivlet::GlobalShortcuts {

namespace {

struct KeyInfo
{
    const char *name;
    int code;
    const char *xkbPosition;
    const char *usCharacter;
};

// The named keys: their stored codes and the XKB name of the same position.
constexpr std::array<KeyInfo, 113> kKeys {{
    {"a", 0, "AC01", "a"},
    {"s", 1, "AC02", "s"},
    {"d", 2, "AC03", "d"},
    {"f", 3, "AC04", "f"},
    {"h", 4, "AC06", "h"},
    {"g", 5, "AC05", "g"},
    {"z", 6, "AB01", "z"},
    {"x", 7, "AB02", "x"},
    {"c", 8, "AB03", "c"},
    {"v", 9, "AB04", "v"},
    {"b", 11, "AB05", "b"},
    {"q", 12, "AD01", "q"},
    {"w", 13, "AD02", "w"},
    {"e", 14, "AD03", "e"},
    {"r", 15, "AD04", "r"},
    {"y", 16, "AD06", "y"},
    {"t", 17, "AD05", "t"},
    {"one", 18, "AE01", "1"},
    {"two", 19, "AE02", "2"},
    {"three", 20, "AE03", "3"},
    {"four", 21, "AE04", "4"},
    {"six", 22, "AE06", "6"},
    {"five", 23, "AE05", "5"},
    {"equal", 24, "AE12", "="},
    {"nine", 25, "AE09", "9"},
    {"seven", 26, "AE07", "7"},
    {"minus", 27, "AE11", "-"},
    {"eight", 28, "AE08", "8"},
    {"zero", 29, "AE10", "0"},
    {"rightBracket", 30, "AD12", "]"},
    {"o", 31, "AD09", "o"},
    {"u", 32, "AD07", "u"},
    {"leftBracket", 33, "AD11", "["},
    {"i", 34, "AD08", "i"},
    {"p", 35, "AD10", "p"},
    {"return", 36, "RTRN", nullptr},
    {"l", 37, "AC09", "l"},
    {"j", 38, "AC07", "j"},
    {"quote", 39, "AC11", "'"},
    {"k", 40, "AC08", "k"},
    {"semicolon", 41, "AC10", ";"},
    {"backslash", 42, "BKSL", "\\"},
    {"comma", 43, "AB08", ","},
    {"slash", 44, "AB10", "/"},
    {"n", 45, "AB06", "n"},
    {"m", 46, "AB07", "m"},
    {"period", 47, "AB09", "."},
    {"tab", 48, "TAB", nullptr},
    {"space", 49, "SPCE", nullptr},
    {"backtick", 50, "TLDE", "`"},
    {"delete", 51, "BKSP", nullptr},
    {"escape", 53, "ESC", nullptr},
    {"rightCommand", 54, "RWIN", nullptr},
    {"command", 55, "LWIN", nullptr},
    {"shift", 56, "LFSH", nullptr},
    {"capsLock", 57, "CAPS", nullptr},
    {"option", 58, "LALT", nullptr},
    {"control", 59, "LCTL", nullptr},
    {"rightShift", 60, "RTSH", nullptr},
    {"rightOption", 61, "RALT", nullptr},
    {"rightControl", 62, "RCTL", nullptr},
    {"function", 63, nullptr, nullptr},
    {"f17", 64, "FK17", nullptr},
    {"keypadDecimal", 65, "KPDL", nullptr},
    {"keypadMultiply", 67, "KPMU", nullptr},
    {"keypadPlus", 69, "KPAD", nullptr},
    {"keypadClear", 71, "NMLK", nullptr},
    {"volumeUp", 72, "VOL+", nullptr},
    {"volumeDown", 73, "VOL-", nullptr},
    {"mute", 74, "MUTE", nullptr},
    {"keypadDivide", 75, "KPDV", nullptr},
    {"keypadEnter", 76, "KPEN", nullptr},
    {"keypadMinus", 78, "KPSU", nullptr},
    {"f18", 79, "FK18", nullptr},
    {"f19", 80, "FK19", nullptr},
    {"keypadEquals", 81, "KPEQ", nullptr},
    {"keypad0", 82, "KP0", nullptr},
    {"keypad1", 83, "KP1", nullptr},
    {"keypad2", 84, "KP2", nullptr},
    {"keypad3", 85, "KP3", nullptr},
    {"keypad4", 86, "KP4", nullptr},
    {"keypad5", 87, "KP5", nullptr},
    {"keypad6", 88, "KP6", nullptr},
    {"keypad7", 89, "KP7", nullptr},
    {"f20", 90, "FK20", nullptr},
    {"keypad8", 91, "KP8", nullptr},
    {"keypad9", 92, "KP9", nullptr},
    {"f5", 96, "FK05", nullptr},
    {"f6", 97, "FK06", nullptr},
    {"f7", 98, "FK07", nullptr},
    {"f3", 99, "FK03", nullptr},
    {"f8", 100, "FK08", nullptr},
    {"f9", 101, "FK09", nullptr},
    {"f11", 103, "FK11", nullptr},
    {"f13", 105, "FK13", nullptr},
    {"f16", 106, "FK16", nullptr},
    {"f14", 107, "FK14", nullptr},
    {"f10", 109, "FK10", nullptr},
    {"f12", 111, "FK12", nullptr},
    {"f15", 113, "FK15", nullptr},
    {"help", 114, "INS", nullptr},
    {"home", 115, "HOME", nullptr},
    {"pageUp", 116, "PGUP", nullptr},
    {"deleteForward", 117, "DELE", nullptr},
    {"f4", 118, "FK04", nullptr},
    {"end", 119, "END", nullptr},
    {"f2", 120, "FK02", nullptr},
    {"pageDown", 121, "PGDN", nullptr},
    {"f1", 122, "FK01", nullptr},
    {"leftArrow", 123, "LEFT", nullptr},
    {"rightArrow", 124, "RGHT", nullptr},
    {"downArrow", 125, "DOWN", nullptr},
    {"upArrow", 126, "UP", nullptr},
}};

const KeyInfo *find(int code)
{
    for (const KeyInfo &info : kKeys) {
        if (info.code == code)
            return &info;
    }
    return nullptr;
}

} // namespace

std::optional<Key> Key::named(const QString &name)
{
    for (const KeyInfo &info : kKeys) {
        if (name == QLatin1String(info.name))
            return Key {info.code};
    }
    return std::nullopt;
}

std::optional<QString> Key::name() const
{
    const KeyInfo *info = find(rawValue);
    return info ? std::optional<QString>(QLatin1String(info->name)) : std::nullopt;
}

std::optional<QString> Key::xkbPosition() const
{
    const KeyInfo *info = find(rawValue);
    if (!info || !info->xkbPosition)
        return std::nullopt;
    return QString::fromLatin1(info->xkbPosition);
}

bool Key::isFunctionKey() const
{
    const std::optional<QString> position = xkbPosition();
    return position && position->startsWith(QLatin1String("FK"));
}

bool Key::isModifier() const
{
    constexpr int kFirstModifier = 54; // rightCommand
    constexpr int kLastModifier = 63; // function
    return rawValue >= kFirstModifier && rawValue <= kLastModifier;
}

std::optional<QString> Key::usCharacter() const
{
    const KeyInfo *info = find(rawValue);
    if (!info || !info->usCharacter)
        return std::nullopt;
    return QString::fromLatin1(info->usCharacter);
}

} // namespace scrivlet::GlobalShortcuts
