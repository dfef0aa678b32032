// SPDX-License-Identifier: GPL-3.0-or-later
#include "Translations.h"

#include "core/settings/DefaultsStore.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QLibraryInfo>

namespace scrivlet {

namespace {

Language languageOf(const QString &tag)
{
    return tag.startsWith(QLatin1String("fr"), Qt::CaseInsensitive) ? Language::french
                                                                    : Language::english;
}

} // namespace

Language interfaceLanguage(const DefaultsStore &defaults, const QLocale &system)
{
    const QJsonValue chosen = defaults.value(QStringLiteral("AppleLanguages"));
    if (chosen.isArray() && !chosen.toArray().isEmpty() && chosen.toArray().first().isString())
        return languageOf(chosen.toArray().first().toString());
    const QStringList desktop = system.uiLanguages();
    return languageOf(desktop.isEmpty() ? system.name() : desktop.first());
}

Translations::Translations(Language language)
{
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (language == Language::english) {
        m_loaded = m_scrivlet.load(QStringLiteral(":/i18n/scrivlet_en.qm"));
        if (m_loaded)
            QCoreApplication::installTranslator(&m_scrivlet);
    } else {
        m_loaded = true;
        if (m_qt.load(QStringLiteral("qtbase_fr"), qtFolder))
            QCoreApplication::installTranslator(&m_qt);
    }
}

Translations::~Translations()
{
    QCoreApplication::removeTranslator(&m_scrivlet);
    QCoreApplication::removeTranslator(&m_qt);
}

} // namespace scrivlet
