// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShortcutKeysym.h"

#include <utility>

namespace scrivlet {

namespace {

// Keys that type no character, by their name in the shortcut model.
constexpr std::pair<const char *, xkb_keysym_t> kKeysyms[] = {
    {"return", XKB_KEY_Return},
    {"tab", XKB_KEY_Tab},
    {"space", XKB_KEY_space},
    {"delete", XKB_KEY_BackSpace},
    {"escape", XKB_KEY_Escape},
    {"rightCommand", XKB_KEY_Super_R},
    {"command", XKB_KEY_Super_L},
    {"shift", XKB_KEY_Shift_L},
    {"capsLock", XKB_KEY_Caps_Lock},
    {"option", XKB_KEY_Alt_L},
    {"control", XKB_KEY_Control_L},
    {"rightShift", XKB_KEY_Shift_R},
    {"rightOption", XKB_KEY_Alt_R},
    {"rightControl", XKB_KEY_Control_R},
    {"keypadDecimal", XKB_KEY_KP_Decimal},
    {"keypadMultiply", XKB_KEY_KP_Multiply},
    {"keypadPlus", XKB_KEY_KP_Add},
    {"keypadClear", XKB_KEY_Num_Lock},
    {"volumeUp", XKB_KEY_XF86AudioRaiseVolume},
    {"volumeDown", XKB_KEY_XF86AudioLowerVolume},
    {"mute", XKB_KEY_XF86AudioMute},
    {"keypadDivide", XKB_KEY_KP_Divide},
    {"keypadEnter", XKB_KEY_KP_Enter},
    {"keypadMinus", XKB_KEY_KP_Subtract},
    {"keypadEquals", XKB_KEY_KP_Equal},
    {"keypad0", XKB_KEY_KP_0},
    {"keypad1", XKB_KEY_KP_1},
    {"keypad2", XKB_KEY_KP_2},
    {"keypad3", XKB_KEY_KP_3},
    {"keypad4", XKB_KEY_KP_4},
    {"keypad5", XKB_KEY_KP_5},
    {"keypad6", XKB_KEY_KP_6},
    {"keypad7", XKB_KEY_KP_7},
    {"keypad8", XKB_KEY_KP_8},
    {"keypad9", XKB_KEY_KP_9},
    {"f1", XKB_KEY_F1},
    {"f2", XKB_KEY_F2},
    {"f3", XKB_KEY_F3},
    {"f4", XKB_KEY_F4},
    {"f5", XKB_KEY_F5},
    {"f6", XKB_KEY_F6},
    {"f7", XKB_KEY_F7},
    {"f8", XKB_KEY_F8},
    {"f9", XKB_KEY_F9},
    {"f10", XKB_KEY_F10},
    {"f11", XKB_KEY_F11},
    {"f12", XKB_KEY_F12},
    {"f13", XKB_KEY_F13},
    {"f14", XKB_KEY_F14},
    {"f15", XKB_KEY_F15},
    {"f16", XKB_KEY_F16},
    {"f17", XKB_KEY_F17},
    {"f18", XKB_KEY_F18},
    {"f19", XKB_KEY_F19},
    {"f20", XKB_KEY_F20},
    {"help", XKB_KEY_Insert},
    {"home", XKB_KEY_Home},
    {"end", XKB_KEY_End},
    {"deleteForward", XKB_KEY_Delete},
    {"pageUp", XKB_KEY_Prior},
    {"pageDown", XKB_KEY_Next},
    {"leftArrow", XKB_KEY_Left},
    {"rightArrow", XKB_KEY_Right},
    {"downArrow", XKB_KEY_Down},
    {"upArrow", XKB_KEY_Up},
};

} // namespace

std::optional<xkb_keysym_t> shortcutKeysym(GlobalShortcuts::Key key)
{
    if (const std::optional<QString> character = key.usCharacter(); character)
        return xkb_utf32_to_keysym(character->at(0).unicode());
    const std::optional<QString> name = key.name();
    if (!name)
        return std::nullopt;
    for (const auto &[keyName, keysym] : kKeysyms) {
        if (*name == QLatin1String(keyName))
            return keysym;
    }
    return std::nullopt;
}

std::optional<QString> shortcutKeysymName(const GlobalShortcuts::Shortcut &shortcut)
{
    if (shortcut.carbonModifiers & GlobalShortcuts::Modifier::function)
        return std::nullopt;
    const std::optional<xkb_keysym_t> keysym = shortcutKeysym(shortcut.key());
    if (!keysym || *keysym == XKB_KEY_NoSymbol)
        return std::nullopt;
    char name[64];
    if (xkb_keysym_get_name(*keysym, name, sizeof name) <= 0)
        return std::nullopt;
    return QString::fromLatin1(name);
}

} // namespace scrivlet
