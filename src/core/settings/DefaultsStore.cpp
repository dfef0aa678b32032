// SPDX-License-Identifier: GPL-3.0-or-later
#include "DefaultsStore.h"

#include "core/Paths.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace scrivlet {

namespace {

QStringList differingKeys(const QJsonObject &before, const QJsonObject &after)
{
    QStringList keys;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (after.value(it.key()) != it.value())
            keys.append(it.key());
    }
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (!before.contains(it.key()))
            keys.append(it.key());
    }
    return keys;
}

} // namespace

DefaultsStore::DefaultsStore(QString folder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(folder))
{
    // Editors save in bursts (truncate, write, rename): read once it settles.
    m_reload.setSingleShot(true);
    m_reload.setInterval(100);
    connect(&m_reload, &QTimer::timeout, this, &DefaultsStore::reload);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_reload, qOverload<>(&QTimer::start));
    connect(
        &m_watcher, &QFileSystemWatcher::directoryChanged, &m_reload, qOverload<>(&QTimer::start));

    const Read read = readDisk();
    switch (read.disk) {
    case Disk::absent:
        break;
    case Disk::object:
        m_values = read.values;
        break;
    case Disk::unopenable:
        // Unreadable now is not the same as empty: never write over it.
        m_writable = false;
        m_unreadableNow = true;
        break;
    case Disk::unreadable:
        m_unreadableNow = true;
        if (!keepAside(read.bytes)) {
            m_writable = false;
            break;
        }
        // The fresh file says what it replaced, so that the next start does
        // not take the missing keys for defaults, nor set aside again.
        m_values.insert(QLatin1String(kReplacedKey), m_setAside);
        if (write(m_values))
            m_unreadableNow = false;
        break;
    }
    watch();
}

QString DefaultsStore::filePath() const
{
    return m_folder + QLatin1Char('/') + QLatin1String(kFileName);
}

bool DefaultsStore::isRecovered() const
{
    return m_unreadableNow || m_values.contains(QLatin1String(kReplacedKey));
}

DefaultsStore::Read DefaultsStore::readDisk() const
{
    Read read;
    QFile file(filePath());
    if (!file.exists())
        return read;
    if (!file.open(QIODevice::ReadOnly)) {
        read.disk = Disk::unopenable;
        return read;
    }
    read.bytes = file.readAll();
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(read.bytes, &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        read.disk = Disk::object;
        read.values = document.object();
    } else {
        read.disk = Disk::unreadable;
    }
    return read;
}

bool DefaultsStore::keepAside(const QByteArray &bytes)
{
    const QString stamp
        = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = filePath() + QStringLiteral(".unreadable-") + stamp;
    // Two in the same second get their own names; none is ever replaced.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path
            = attempt == 0 ? base : base + QLatin1Char('-') + QString::number(attempt);
        QFile aside(path);
        if (aside.exists())
            continue;
        if (!aside.open(QIODevice::NewOnly | QIODevice::WriteOnly))
            return false;
        const bool whole = aside.write(bytes) == bytes.size() && aside.flush();
        aside.close();
        if (!whole) {
            aside.remove();
            return false;
        }
        m_setAside = path;
        Q_EMIT setAside(path);
        return true;
    }
    return false;
}

void DefaultsStore::setValue(const QString &key, const QJsonValue &value)
{
    change([&](QJsonObject &values) { values.insert(key, value); });
}

void DefaultsStore::remove(const QString &key)
{
    change([&](QJsonObject &values) { values.remove(key); });
}

void DefaultsStore::change(const std::function<void(QJsonObject &)> &edit)
{
    // The change applies to what the file holds now, so that a hand edit
    // made since the last read is kept, not written over.
    const Read read = readDisk();
    QJsonObject base = m_values;
    bool writable = m_writable;
    switch (read.disk) {
    case Disk::absent:
        break;
    case Disk::object:
        base = read.values;
        writable = true;
        break;
    case Disk::unopenable:
        writable = false;
        break;
    case Disk::unreadable:
        // Half an edit, or damage: kept aside before anything replaces it.
        writable = keepAside(read.bytes);
        if (writable)
            base.insert(QLatin1String(kReplacedKey), m_setAside);
        break;
    }
    const QJsonObject before = m_values;
    edit(base);
    m_values = base;
    m_writable = writable;
    if (m_writable && write(m_values))
        m_unreadableNow = false;
    // Keys edited by hand since the last read came in with this write.
    if (read.disk == Disk::object) {
        const QStringList fromDisk = differingKeys(before, read.values);
        if (!fromDisk.isEmpty())
            Q_EMIT changed(fromDisk);
    }
}

bool DefaultsStore::write(const QJsonObject &values)
{
    // Preferences report no failure: the value stays in memory for this run.
    if (!paths::ensurePrivateFolder(m_folder).ok())
        return false;
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(values).toJson(QJsonDocument::Indented));
    const bool written = file.commit(); // a failed commit leaves the previous file whole
    watch();
    return written;
}

void DefaultsStore::reload()
{
    const Read read = readDisk();
    watch();
    if (read.disk == Disk::absent)
        return; // between an editor's delete and rename, or removed: the next write restores it
    if (read.disk != Disk::object) {
        // Mid-edit or damaged: keep what was read last; a write sets it aside.
        m_unreadableNow = true;
        return;
    }
    m_unreadableNow = false;
    m_writable = true;
    const QStringList keys = differingKeys(m_values, read.values);
    m_values = read.values;
    if (!keys.isEmpty())
        Q_EMIT changed(keys);
}

void DefaultsStore::watch()
{
    // A saved file is a new file: watch its folder, and the file once more.
    if (!m_watcher.directories().contains(m_folder))
        (void)m_watcher.addPath(m_folder);
    if (QFile::exists(filePath()) && !m_watcher.files().contains(filePath()))
        (void)m_watcher.addPath(filePath());
}

} // namespace scrivlet
