// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecretServiceWatcher.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QString>

namespace scrivlet {
namespace {

const QString kSecretsName = QStringLiteral("org.freedesktop.secrets");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString kCollectionInterface = QStringLiteral("org.freedesktop.Secret.Collection");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kAnyPath;

// What providers announce: gnome-keyring and KeePassXC send Properties
// changes of the collection on an unlock, KWallet's bridge the Service's
// CollectionChanged. An empty path hears every object of the service.
struct Announcement
{
    const QString &path;
    const QString &interface;
    const char *member;
};

const Announcement kAnnouncements[] = {
    {kAnyPath, kPropertiesInterface, "PropertiesChanged"},
    {kServicePath, kServiceInterface, "CollectionChanged"},
    {kServicePath, kServiceInterface, "CollectionCreated"},
    {kServicePath, kServiceInterface, "CollectionDeleted"},
    {kAnyPath, kCollectionInterface, "ItemCreated"},
    {kAnyPath, kCollectionInterface, "ItemChanged"},
    {kAnyPath, kCollectionInterface, "ItemDeleted"},
};

} // namespace

SecretServiceWatcher::SecretServiceWatcher(std::function<void()> changed)
    : m_changed(std::move(changed))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    for (const Announcement &a : kAnnouncements)
        bus.connect(
            kSecretsName, a.path, a.interface, QLatin1String(a.member), this, SLOT(onChange()));
    // A service that starts after us, or starts again.
    m_owner = std::make_unique<QDBusServiceWatcher>(
        kSecretsName, bus, QDBusServiceWatcher::WatchForRegistration);
    connect(m_owner.get(), &QDBusServiceWatcher::serviceRegistered, this,
        &SecretServiceWatcher::onChange);
}

SecretServiceWatcher::~SecretServiceWatcher() = default;

void SecretServiceWatcher::onChange()
{
    m_changed();
}

} // namespace scrivlet
