// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

namespace scrivlet {

// The user's preferences as one typed JSON object on disk, shared by every
// writer (settings, palette size, shortcuts), so that none overwrites
// another's keys. Every assignment is written at once, atomically.
class DefaultsStore
{
public:
    static constexpr char kFileName[] = "defaults.json";

    // Reads `folder`/defaults.json. A file that is not a JSON object is
    // copied aside before anything could overwrite it, and then ignored.
    explicit DefaultsStore(QString folder);

    [[nodiscard]] QJsonValue value(const QString &key) const { return m_values.value(key); }
    [[nodiscard]] bool contains(const QString &key) const { return m_values.contains(key); }
    [[nodiscard]] QStringList keys() const { return m_values.keys(); }
    void setValue(const QString &key, const QJsonValue &value);
    void remove(const QString &key);

    [[nodiscard]] QString filePath() const;
    // Where an unreadable file was kept, if one was found at start.
    [[nodiscard]] const QString &setAsidePath() const { return m_setAside; }

private:
    void write();

    QString m_folder;
    QJsonObject m_values;
    QString m_setAside;
    bool m_writable = true;
};

} // namespace scrivlet
