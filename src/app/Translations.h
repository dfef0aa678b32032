// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/Shortcut.h"

#include <QLocale>
#include <QString>
#include <QTranslator>

namespace scrivlet {

class DefaultsStore;

// The interface language of this run: the one the user chose last time
// ("AppleLanguages"), else the desktop's: French for fr*, English otherwise.
[[nodiscard]] Language interfaceLanguage(
    const DefaultsStore &defaults, const QLocale &system = QLocale::system());

// Scrivlet's texts are written in French; English comes from the built-in
// translation. Qt's own texts (standard buttons, context menus) follow.
// Installed for as long as the object lives.
class Translations
{
public:
    explicit Translations(Language language);
    ~Translations();
    Translations(const Translations &) = delete;
    Translations &operator=(const Translations &) = delete;

    [[nodiscard]] bool isLoaded() const { return m_loaded; }

private:
    QTranslator m_scrivlet;
    QTranslator m_qt;
    bool m_loaded = false;
};

} // namespace scrivlet
