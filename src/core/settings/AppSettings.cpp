// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppSettings.h"

#include "DefaultsStore.h"

#include <QJsonArray>
#include <cmath>
#include <optional>

namespace scrivlet {

namespace {

const QString kHistoryLimit = QStringLiteral("historyLimit");
const QString kRetentionDays = QStringLiteral("retentionDays");
const QString kCaptureEnabled = QStringLiteral("captureEnabled");
const QString kRecordSelection = QStringLiteral("recordSelection");
const QString kExcludedApps = QStringLiteral("excludedApps");
const QString kPasteOnSingleClick = QStringLiteral("pasteOnSingleClick");
const QString kAppearance = QStringLiteral("appearance");
const QString kAccentColorID = QStringLiteral("accentColorID");
const QString kLanguage = QStringLiteral("language");
const QString kAppleLanguages = QStringLiteral("AppleLanguages");

// Whole numbers only; JSON keeps every number as a double.
std::optional<qint64> integer(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) || std::fabs(number) > 9.0e15)
        return std::nullopt;
    return qint64(number);
}

qint64 integerOr(const QJsonValue &value, qint64 fallback)
{
    return integer(value).value_or(fallback);
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
    for (const auto &element : value.toArray()) {
        // One element of another type discards the whole list.
        if (!element.isString())
            return {};
        strings.append(element.toString());
    }
    return strings;
}

// A value that is there but unusable is not a default the user chose; a
// key that is missing is, unless the file it was in could not be read.
bool isKnown(const DefaultsStore &defaults, const QString &key)
{
    if (!defaults.contains(key))
        return !defaults.isRecovered();
    return integer(defaults.value(key)).has_value();
}

} // namespace

struct AppSettings::Loaded
{
    qint64 historyLimit;
    qint64 retentionDays;
    bool captureEnabled;
    QStringList excludedApps;
    bool pasteOnSingleClick;
    QString appearance;
    QString accentColorID;
    QString language;
    bool historyLimitKnown;
    bool retentionDaysKnown;
    bool recordSelection;

    bool operator==(const Loaded &) const = default;
};

AppSettings::Loaded AppSettings::load(const DefaultsStore &defaults)
{
    return {
        integerOr(defaults.value(kHistoryLimit), 200),
        integerOr(defaults.value(kRetentionDays), 30),
        booleanOr(defaults.value(kCaptureEnabled), true),
        stringsOrEmpty(defaults.value(kExcludedApps)),
        booleanOr(defaults.value(kPasteOnSingleClick), true),
        stringOr(defaults.value(kAppearance), QStringLiteral("system")),
        stringOr(defaults.value(kAccentColorID), QStringLiteral("system")),
        stringOr(defaults.value(kLanguage), QStringLiteral("system")),
        isKnown(defaults, kHistoryLimit),
        isKnown(defaults, kRetentionDays),
        booleanOr(defaults.value(kRecordSelection), false),
    };
}

void AppSettings::take(const Loaded &loaded)
{
    m_historyLimit = loaded.historyLimit;
    m_retentionDays = loaded.retentionDays;
    m_captureEnabled = loaded.captureEnabled;
    m_excludedApps = loaded.excludedApps;
    m_pasteOnSingleClick = loaded.pasteOnSingleClick;
    m_appearance = loaded.appearance;
    m_accentColorID = loaded.accentColorID;
    m_language = loaded.language;
    m_historyLimitKnown = loaded.historyLimitKnown;
    m_retentionDaysKnown = loaded.retentionDaysKnown;
    m_recordSelection = loaded.recordSelection;
}

AppSettings::AppSettings(
    DefaultsStore &defaults, std::function<void(AppAppearance)> applyAppearance, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_applyAppearance(std::move(applyAppearance))
{
    take(load(defaults));
    connect(&defaults, &DefaultsStore::changed, this, &AppSettings::reload);
}

void AppSettings::reload()
{
    const Loaded loaded = load(m_defaults);
    const QString appearance = m_appearance;
    if (loaded
        == Loaded {m_historyLimit, m_retentionDays, m_captureEnabled, m_excludedApps,
            m_pasteOnSingleClick, m_appearance, m_accentColorID, m_language, m_historyLimitKnown,
            m_retentionDaysKnown, m_recordSelection})
        return;
    take(loaded);
    if (m_appearance != appearance && m_applyAppearance)
        m_applyAppearance(appAppearanceOrSystem(m_appearance));
    Q_EMIT changed();
}

template<typename T>
void AppSettings::assign(T &field, const T &value, const QString &key, const QJsonValue &stored)
{
    // The value, then the file, then the notice: every time, also for an
    // unchanged value.
    field = value;
    m_defaults.setValue(key, stored);
    Q_EMIT changed();
}

void AppSettings::setHistoryLimit(qint64 value)
{
    m_historyLimitKnown = true;
    assign(m_historyLimit, value, kHistoryLimit, double(value));
}

void AppSettings::setRetentionDays(qint64 value)
{
    m_retentionDaysKnown = true;
    assign(m_retentionDays, value, kRetentionDays, double(value));
}

void AppSettings::setCaptureEnabled(bool value)
{
    assign(m_captureEnabled, value, kCaptureEnabled, value);
}

void AppSettings::setRecordSelection(bool value)
{
    assign(m_recordSelection, value, kRecordSelection, value);
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
    // Read at the next start to choose the interface language.
    if (value == QLatin1String("system"))
        m_defaults.remove(kAppleLanguages);
    else
        m_defaults.setValue(kAppleLanguages, QJsonArray {value});
    assign(m_language, value, kLanguage, value);
}

} // namespace scrivlet
