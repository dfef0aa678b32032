// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

namespace scrivlet {

class AppSettings;

// Scrivlet's place in the panel: an icon that shows whether capture is on,
// and its menu. Without a tray the menu's actions still exist for the rest
// of the program (the command line reaches them).
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(AppSettings &settings, QObject *parent = nullptr);

    [[nodiscard]] QMenu &menu() { return m_menu; }
    [[nodiscard]] QAction &openAction() { return *m_open; }
    [[nodiscard]] QAction &captureAction() { return *m_capture; }
    [[nodiscard]] QAction &clearAction() { return *m_clear; }
    [[nodiscard]] QAction &settingsAction() { return *m_preferences; }
    [[nodiscard]] QAction &updatesAction() { return *m_updates; }
    [[nodiscard]] QAction &quitAction() { return *m_quit; }
    [[nodiscard]] const QIcon &currentIcon() const { return m_currentIcon; }
    [[nodiscard]] bool isCaptureIconShown() const { return m_captureIconShown; }

    // Tells the user something worth knowing now (key trouble, no paste).
    void notify(const QString &title, const QString &message);
    // A line under the icon's name; empty when all is well.
    void setStatus(const QString &status);
    // The palette shortcut shown beside "Ouvrir l'historique".
    void setOpenShortcutText(const QString &shortcut);

    static QIcon captureIcon();
    static QIcon pausedIcon();

Q_SIGNALS:
    void openRequested();
    void clearRequested();
    void settingsRequested();
    void updatesRequested();
    void quitRequested();
    // After a notice was given (shown, or only logged without a tray).
    void noticeShown(const QString &title, const QString &message);

private:
    void refresh();

    AppSettings &m_settings;
    QSystemTrayIcon m_tray;
    QMenu m_menu;
    QAction *m_open;
    QAction *m_capture;
    QAction *m_preferences;
    QAction *m_updates;
    QAction *m_clear;
    QAction *m_quit;
    QIcon m_currentIcon;
    bool m_captureIconShown = true;
    QString m_status;
};

} // namespace scrivlet
