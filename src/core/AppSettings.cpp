// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppSettings.h"

#include "DefaultsStore.h"

#include <QJsonArray>
#include <cmath>

namespace scrivlet {

namespace {

const QString kHistoryLimit = QStringLiteral("historyLimit");
const QString kRetentionDays = QStringLiteral("retentionDays");
const QString kCaptureEnabled = QStringLiteral("captureEnabled");
const QString kExcludedApps = QStringLiteral("excludedApps");
const QString kPasteOnSingleClick = QStringLiteral("pasteOnSingleClick");
const QString kAppearance = QStringLiteral("appearance");
const QString kAccentColorID = QStringLiteral("accentColorID");
const QString kLanguage = QStringLiteral("language");
const QString kAppleLanguages = QStringLiteral("AppleLanguages");

// Whole numbers only; JSON keeps every number as a double.
qint64 integerOr(const QJsonValue &value, qint64 fallback)
{
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) || std::fabs(number) > 9.0e15)
        return fallback;
    return qint64(number);
}

bool booleanOr(const QJsonValue &value, bool fallback)
{
    return value.isBool() ? value.toBool() : fallback;
}

QString stringOr(const QJsonValue &value, const QString &fallback)
{
    return value.isString() ? value.toString() : fallback;
}

QStringList stringsOrEmpty(const QJsonValue &value)
{
    QStringList strings;
    for (const QJsonValue &element : value.toArray()) {
        // One element of another type discards the whole list.
        if (!element.isString())
            return {};
        strings.append(element.toString());
    }
    return strings;
}

} // namespace

AppSettings::AppSettings(
    DefaultsStore &defaults, std::function<void(AppAppearance)> applyAppearance, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_applyAppearance(std::move(applyAppearance))
    , m_historyLimit(integerOr(defaults.value(kHistoryLimit), 200))
    , m_retentionDays(integerOr(defaults.value(kRetentionDays), 30))
    , m_captureEnabled(booleanOr(defaults.value(kCaptureEnabled), true))
    , m_excludedApps(stringsOrEmpty(defaults.value(kExcludedApps)))
    , m_pasteOnSingleClick(booleanOr(defaults.value(kPasteOnSingleClick), true))
    , m_appearance(stringOr(defaults.value(kAppearance), QStringLiteral("system")))
    , m_accentColorID(stringOr(defaults.value(kAccentColorID), QStringLiteral("system")))
    , m_language(stringOr(defaults.value(kLanguage), QStringLiteral("system")))
{ }

template<typename T>
void AppSettings::assign(T &field, const T &value, const QString &key, const QJsonValue &stored)
{
    // The notice first, then the value, then the file: every time, also for
    // an unchanged value.
    Q_EMIT willChange();
    field = value;
    m_defaults.setValue(key, stored);
}

void AppSettings::setHistoryLimit(qint64 value)
{
    assign(m_historyLimit, value, kHistoryLimit, double(value));
}

void AppSettings::setRetentionDays(qint64 value)
{
    assign(m_retentionDays, value, kRetentionDays, double(value));
}

void AppSettings::setCaptureEnabled(bool value)
{
    assign(m_captureEnabled, value, kCaptureEnabled, value);
}

void AppSettings::setExcludedApps(const QStringList &value)
{
    assign(m_excludedApps, value, kExcludedApps, QJsonArray::fromStringList(value));
}

void AppSettings::setPasteOnSingleClick(bool value)
{
    assign(m_pasteOnSingleClick, value, kPasteOnSingleClick, value);
}

void AppSettings::setAppearance(const QString &value)
{
    assign(m_appearance, value, kAppearance, value);
    if (m_applyAppearance)
        m_applyAppearance(appAppearanceOrSystem(value));
}

void AppSettings::setAccentColorID(const QString &value)
{
    assign(m_accentColorID, value, kAccentColorID, value);
}

void AppSettings::setLanguage(const QString &value)
{
    assign(m_language, value, kLanguage, value);
    // Read at the next start to choose the interface language.
    if (value == QLatin1String("system"))
        m_defaults.remove(kAppleLanguages);
    else
        m_defaults.setValue(kAppleLanguages, QJsonArray {value});
}

} // namespace scrivlet
