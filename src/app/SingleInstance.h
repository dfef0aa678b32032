// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace scrivlet {

// One Scrivlet per user: a lock file in the user's runtime folder says who
// runs; a second start tells the first to show itself and leaves.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR, else a private folder of the user's under /tmp.
    static QString runtimeFolder();

    // True when this process is the one Scrivlet; it then listens for others.
    [[nodiscard]] bool claim();
    // For a second start: asks the running one to show its palette ("show")
    // or its settings window ("settings").
    [[nodiscard]] bool notifyRunning(const QByteArray &request = "show");

Q_SIGNALS:
    void showRequested();
    void settingsRequested();

private:
    QString m_folder;
    int m_lockFd = -1;
    QLocalServer m_server;
};

} // namespace scrivlet
