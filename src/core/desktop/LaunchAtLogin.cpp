// SPDX-License-Identifier: GPL-3.0-or-later
#include "LaunchAtLogin.h"

#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace scrivlet::LaunchAtLogin {

namespace {

void logFailure(const QString &reason)
{
    qWarning().noquote() << QStringLiteral("LaunchAtLogin: ") + reason;
}

// Exec= as desktop entries want it: the quoting rule for the argument, then
// the string rule for the value (so a backslash ends up as four), and %
// doubled so that it is no field code.
QString quoted(const QString &path)
{
    QString argument;
    for (const QChar c : path) {
        if (c == u'\\' || c == u'"' || c == u'`' || c == u'$')
            argument += u'\\';
        argument += c;
    }
    QString value;
    for (const QChar c : QLatin1Char('"') + argument + QLatin1Char('"')) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'\r')
            value += QStringLiteral("\\r");
        else if (c == u'%')
            value += QStringLiteral("%%");
        else
            value += c;
    }
    return value;
}

} // namespace

QString entryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + QLatin1String(paths::kApplicationId)
        + QStringLiteral(".desktop");
}

bool isEnabled(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line == "Hidden=true")
            return false;
    }
    return true;
}

void set(bool enabled, const QString &executable, const QString &path)
{
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path))
            logFailure(QStringLiteral("cannot remove %1").arg(path));
        return;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        logFailure(QStringLiteral("cannot create %1").arg(folder));
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        logFailure(file.errorString());
        return;
    }
    QTextStream out(&file);
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Scrivlet\n"
        << "Exec=" << quoted(executable) << "\n"
        << "Icon=" << paths::kApplicationId << "\n"
        << "X-GNOME-Autostart-enabled=true\n";
    out.flush();
    if (!file.commit())
        logFailure(file.errorString());
}

} // namespace scrivlet::LaunchAtLogin
