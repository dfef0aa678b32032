// SPDX-License-Identifier: GPL-3.0-or-later
// Hardens itself as Scrivlet does, then asks the session's real
// xdg-desktop-portal a question every caller may ask. Exit 0 when the portal
// answered and no core file can be written; else one line on stderr.
#include "app/ProcessHardening.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QTextStream>
#include <QThread>
#include <sys/resource.h>

using namespace scrivlet;

int main(int argc, char *argv[])
{
    hardenProcess();
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    rlimit core {};
    if (getrlimit(RLIMIT_CORE, &core) != 0 || core.rlim_cur != 0 || core.rlim_max != 0) {
        err << "portal_access_probe: the core file size limit is not 0/0" << Qt::endl;
        return 1;
    }
    const QString portal = QStringLiteral("org.freedesktop.portal.Desktop");
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDeadlineTimer deadline(20000);
    while (!bus.interface()->isServiceRegistered(portal).value()) {
        if (deadline.hasExpired()) {
            err << "portal_access_probe: no xdg-desktop-portal on the bus" << Qt::endl;
            return 2;
        }
        QThread::msleep(50);
    }
    // Any portal method goes through the same check of the caller first.
    const QDBusMessage reply = bus.call(
        QDBusMessage::createMethodCall(portal, QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.NetworkMonitor"),
            QStringLiteral("GetAvailable")),
        QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        err << "portal_access_probe: refused: " << reply.errorMessage() << Qt::endl;
        return 1;
    }
    return 0;
}
