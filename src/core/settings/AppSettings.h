// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Appearance.h"

#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace scrivlet {

class DefaultsStore;

// The user's eight preferences, loaded once, written back on every
// assignment and announced once each change is made.
class AppSettings : public QObject
{
    Q_OBJECT

public:
    // The one instance is made by the application delegate, which hands it
    // to its users; the appearance hook applies a look to the interface.
    explicit AppSettings(DefaultsStore &defaults,
        std::function<void(AppAppearance)> applyAppearance = {}, QObject *parent = nullptr);

    [[nodiscard]] qint64 historyLimit() const { return m_historyLimit; }
    [[nodiscard]] qint64 retentionDays() const { return m_retentionDays; }
    // Whether the value is the user's (read from the file, or set), or the
    // default for a key the file does not have. False for a fallback that
    // stands in for a value that could not be read: nothing may be pruned
    // on it.
    [[nodiscard]] bool historyLimitIsKnown() const { return m_historyLimitKnown; }
    [[nodiscard]] bool retentionDaysIsKnown() const { return m_retentionDaysKnown; }
    [[nodiscard]] bool captureEnabled() const { return m_captureEnabled; }
    // Whether the primary selection is recorded too, once settled.
    [[nodiscard]] bool recordSelection() const { return m_recordSelection; }
    [[nodiscard]] const QStringList &excludedApps() const { return m_excludedApps; }
    [[nodiscard]] bool pasteOnSingleClick() const { return m_pasteOnSingleClick; }
    [[nodiscard]] const QString &appearance() const { return m_appearance; }
    [[nodiscard]] const QString &accentColorID() const { return m_accentColorID; }
    [[nodiscard]] const QString &language() const { return m_language; }

    void setHistoryLimit(qint64 value);
    void setRetentionDays(qint64 value);
    void setCaptureEnabled(bool value);
    void setRecordSelection(bool value);
    void setExcludedApps(const QStringList &value);
    void setPasteOnSingleClick(bool value);
    void setAppearance(const QString &value);
    void setAccentColorID(const QString &value);
    void setLanguage(const QString &value);

    // Reads every preference again from the defaults store (it announces
    // hand edits of the file); announced like an assignment when one moved.
    void reload();

Q_SIGNALS:
    // After every assignment, also of an unchanged value, once the value is
    // stored; after a reload that moved a value.
    void changed();

private:
    struct Loaded;
    [[nodiscard]] static Loaded load(const DefaultsStore &defaults);
    void take(const Loaded &loaded);

    template<typename T>
    void assign(T &field, const T &value, const QString &key, const QJsonValue &stored);

    DefaultsStore &m_defaults;
    std::function<void(AppAppearance)> m_applyAppearance;
    qint64 m_historyLimit;
    qint64 m_retentionDays;
    bool m_captureEnabled;
    bool m_recordSelection;
    QStringList m_excludedApps;
    bool m_pasteOnSingleClick;
    QString m_appearance;
    QString m_accentColorID;
    QString m_language;
    bool m_historyLimitKnown = true;
    bool m_retentionDaysKnown = true;
};

} // namespace scrivlet
