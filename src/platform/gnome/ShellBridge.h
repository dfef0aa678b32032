// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Workspace.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <utility>

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace scrivlet {

// Scrivlet's end of the bridge to its GNOME Shell extension: owns the bus
// name the extension answers, finds the extension, and follows the Shell and
// the extension coming and going.
class ShellBridge : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kUuid = "scrivlet@scrivlet.org";
    static constexpr uint kVersion = 1;
    enum class Extension { noShell, missing, disabled, broken, active };

    explicit ShellBridge(
        QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);
    ~ShellBridge() override;

    // Claims org.scrivlet.Scrivlet (false when another process holds it) and
    // attaches when it can.
    [[nodiscard]] bool start();
    // Attach answered with our uuid and a version we know.
    [[nodiscard]] bool isAttached() const { return m_attached; }
    [[nodiscard]] Extension extension() const { return m_extension; }
    // English, one line: why the bridge is not attached; empty when it is.
    [[nodiscard]] QString why() const;
    void enableExtension();

    // Blocking helpers, each with its own timeout; read() may run on any
    // thread.
    // One type of copy `serial`; none when the extension refused it, the
    // owner missed `deadlineMs` for a chunk or sent more than `cap` bytes.
    [[nodiscard]] std::optional<QByteArray> read(quint32 serial, const QString &type, qint64 cap,
        int deadlineMs, QString *why = nullptr) const;
    void setClipboard(const QList<std::pair<QString, QByteArray>> &formats);
    // Asks for the activation without waiting for the Shell's answer.
    bool activateWindow(quint64 id);
    [[nodiscard]] bool sendKeys(const QList<std::pair<quint32, bool>> &keysymsPressed);
    [[nodiscard]] bool bindShortcut(const QString &accelerator);

    struct Selection
    {
        quint32 serial = 0;
        QStringList types;
        QString app;
        QString origin;
        // Told by SelectionChanged; false when asked for at attach.
        bool announced = false;
    };
    // As last announced.
    [[nodiscard]] Selection selection() const { return m_selection; }
    [[nodiscard]] std::optional<WindowRef> focusedWindow() const { return m_focused; }

    // The extension's state as GetExtensionInfo reports it (`state`,
    // `enabled`; an empty dictionary when it is not installed).
    [[nodiscard]] static Extension extensionFrom(const QVariantMap &info);

Q_SIGNALS:
    // Also emitted anew after the Shell restarts or the extension comes back.
    void attachedChanged(bool attached);
    void extensionChanged();
    void selectionChanged();
    void focusChanged();
    void shortcutActivated();

private Q_SLOTS:
    void onShellOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);
    void onExtensionStateChanged(const QString &uuid, const QVariantMap &info);
    void onSelectionChanged(
        uint serial, const QStringList &types, const QString &app, const QString &origin);
    void onFocusChanged(qulonglong id, const QString &app, const QString &wmClass);
    void onShortcutActivated();

private:
    void attach();
    void onAttached(QDBusPendingCallWatcher *watcher);
    void fetchState();
    void detach();
    void setExtension(Extension extension);
    void setFocused(quint64 id, const QString &app, const QString &wmClass);
    [[nodiscard]] QDBusMessage call(const QString &method, const QVariantList &arguments) const;

    QDBusConnection m_bus;
    bool m_started = false;
    bool m_attached = false;
    bool m_attaching = false;
    int m_attachRetries = 0;
    // Moved by every change, so that an answer asked for before one is
    // dropped.
    quint64 m_selectionGeneration = 0;
    quint64 m_focusGeneration = 0;
    Extension m_extension = Extension::noShell;
    QString m_attachError;
    Selection m_selection;
    std::optional<WindowRef> m_focused;
};

} // namespace scrivlet
