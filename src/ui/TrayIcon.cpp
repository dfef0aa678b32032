// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrayIcon.h"

#include "core/settings/AppSettings.h"

namespace scrivlet {

TrayIcon::TrayIcon(AppSettings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    // The shortcut is added once it is known, in the keyboard's own terms.
    m_open = m_menu.addAction(tr("Ouvrir l'historique"));
    connect(m_open, &QAction::triggered, this, &TrayIcon::openRequested);
    m_menu.addSeparator();
    m_capture = m_menu.addAction(tr("Capture active"));
    m_capture->setCheckable(true);
    connect(m_capture, &QAction::triggered, this,
        [this](bool on) { m_settings.setCaptureEnabled(on); });
    m_preferences = m_menu.addAction(tr("Réglages…"));
    connect(m_preferences, &QAction::triggered, this, &TrayIcon::settingsRequested);
    m_updates = m_menu.addAction(tr("Rechercher les mises à jour…"));
    connect(m_updates, &QAction::triggered, this, &TrayIcon::updatesRequested);
    m_menu.addSeparator();
    m_clear = m_menu.addAction(tr("Vider l'historique…"));
    connect(m_clear, &QAction::triggered, this, &TrayIcon::clearRequested);
    m_menu.addSeparator();
    m_quit = m_menu.addAction(tr("Quitter Scrivlet"));
    connect(m_quit, &QAction::triggered, this, &TrayIcon::quitRequested);

    connect(&m_settings, &AppSettings::changed, this, &TrayIcon::refresh);
    m_tray.setContextMenu(&m_menu);
    // The left button opens the palette; the menu stays on the right one.
    connect(&m_tray, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                Q_EMIT openRequested();
        });
    refresh();
    // Shown even without a tray: Qt docks it once a panel starts later (at
    // login Scrivlet may well start first).
    m_tray.show();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qWarning("Scrivlet: no system tray yet; the icon appears when one starts.");
}

QIcon TrayIcon::captureIcon()
{
    return QIcon(QStringLiteral(":/icons/scrivlet.svg"));
}

QIcon TrayIcon::pausedIcon()
{
    return QIcon::fromTheme(QStringLiteral("media-playback-pause"),
        QIcon(QStringLiteral(":/icons/capture-paused.svg")));
}

void TrayIcon::refresh()
{
    const bool on = m_settings.captureEnabled();
    m_capture->setChecked(on);
    m_captureIconShown = on;
    m_currentIcon = on ? captureIcon() : pausedIcon();
    m_tray.setIcon(m_currentIcon);
    QString tip = on ? tr("Scrivlet") : tr("Scrivlet — capture en pause");
    if (!m_status.isEmpty())
        tip += QLatin1Char('\n') + m_status;
    m_tray.setToolTip(tip);
}

void TrayIcon::notify(const QString &title, const QString &message)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_tray.showMessage(title, message, QSystemTrayIcon::Warning);
    qWarning().noquote() << QStringLiteral("Scrivlet: ") + message;
    Q_EMIT noticeShown(title, message);
}

void TrayIcon::setOpenShortcutText(const QString &shortcut)
{
    // Two spaces before the shortcut, as the menu has always shown it.
    m_open->setText(shortcut.isEmpty() ? tr("Ouvrir l'historique")
                                       : tr("Ouvrir l'historique  %1").arg(shortcut));
}

void TrayIcon::setStatus(const QString &status)
{
    m_status = status;
    refresh();
}

} // namespace scrivlet
