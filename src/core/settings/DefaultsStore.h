// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileSystemWatcher>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

namespace scrivlet {

// The user's preferences as one typed JSON object on disk, shared by every
// writer (settings, palette size, shortcuts), so that none overwrites
// another's keys. One per process, made by main() and handed to its users.
// The file is followed: edits made by hand while Scrivlet runs are read
// again, and a write changes only its own key in what the file holds then.
class DefaultsStore : public QObject
{
    Q_OBJECT

public:
    static constexpr char kFileName[] = "defaults.json";
    // Written into a file that replaces one that could not be read: the keys
    // that file held are unknown, not absent.
    static constexpr char kReplacedKey[] = "replacedUnreadableFile";

    // Reads `folder`/defaults.json. A file that is not a JSON object is
    // copied aside and replaced by a fresh one naming the copy; when the copy
    // cannot be made, the file is left alone and nothing is written.
    explicit DefaultsStore(QString folder, QObject *parent = nullptr);

    [[nodiscard]] QJsonValue value(const QString &key) const { return m_values.value(key); }
    [[nodiscard]] bool contains(const QString &key) const { return m_values.contains(key); }
    [[nodiscard]] QStringList keys() const { return m_values.keys(); }
    void setValue(const QString &key, const QJsonValue &value);
    void remove(const QString &key);

    [[nodiscard]] QString filePath() const;
    // Where an unreadable file was kept, when one was found during this run.
    [[nodiscard]] const QString &setAsidePath() const { return m_setAside; }
    // Whether the preferences could not all be read: the file was unreadable
    // (now, or before the file that replaced it). A key missing then may
    // have had a value of the user's.
    [[nodiscard]] bool isRecovered() const;
    // False while the file can neither be read nor set aside: changes are
    // kept for this run only.
    [[nodiscard]] bool isWritable() const { return m_writable; }

    // Reads the file again now rather than at the watcher's next notice.
    void reload();

Q_SIGNALS:
    // After the file changed on disk: the keys whose values are not the same.
    void changed(const QStringList &keys);
    // An unreadable file was copied to `path` (once per file found).
    void setAside(const QString &path);

private:
    enum class Disk { absent, object, unreadable, unopenable };
    struct Read
    {
        Disk disk = Disk::absent;
        QJsonObject values;
        QByteArray bytes;
    };

    [[nodiscard]] Read readDisk() const;
    // Copies unreadable bytes aside; false when no copy could be made.
    [[nodiscard]] bool keepAside(const QByteArray &bytes);
    void change(const std::function<void(QJsonObject &)> &edit);
    [[nodiscard]] bool write(const QJsonObject &values);
    void watch();

    QString m_folder;
    QJsonObject m_values;
    QString m_setAside;
    bool m_writable = true;
    bool m_unreadableNow = false;
    QFileSystemWatcher m_watcher;
    QTimer m_reload;
};

} // namespace scrivlet
