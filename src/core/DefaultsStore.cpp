// SPDX-License-Identifier: GPL-3.0-or-later
#include "DefaultsStore.h"

#include "Paths.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace scrivlet {

DefaultsStore::DefaultsStore(QString folder)
    : m_folder(std::move(folder))
{
    QFile file(filePath());
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        // Unreadable now is not the same as empty: never write over it.
        m_writable = false;
        return;
    }
    const QByteArray bytes = file.readAll();
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        m_values = document.object();
        return;
    }
    const QString stamp
        = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    m_setAside = filePath() + QStringLiteral(".unreadable-") + stamp;
    if (!QFile::copy(filePath(), m_setAside)) {
        m_setAside.clear();
        m_writable = false;
    }
}

QString DefaultsStore::filePath() const
{
    return m_folder + QLatin1Char('/') + QLatin1String(kFileName);
}

void DefaultsStore::setValue(const QString &key, const QJsonValue &value)
{
    m_values.insert(key, value);
    write();
}

void DefaultsStore::remove(const QString &key)
{
    m_values.remove(key);
    write();
}

void DefaultsStore::write()
{
    // Preferences report no failure: the value stays in memory for this run.
    if (!m_writable || !paths::ensurePrivateFolder(m_folder).ok())
        return;
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(m_values).toJson(QJsonDocument::Indented));
    (void)file.commit(); // a failed commit leaves the previous file whole
}

} // namespace scrivlet
