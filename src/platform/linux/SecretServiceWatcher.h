// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace scrivlet {

// Hears the Secret Service announce that its collections or items changed
// (an unlock among them), or that it started, on the session bus of the
// thread that made it.
class SecretServiceWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SecretServiceWatcher(std::function<void()> changed);
    ~SecretServiceWatcher() override;

private Q_SLOTS:
    void onChange();

private:
    std::function<void()> m_changed;
    std::unique_ptr<QDBusServiceWatcher> m_owner;
};

} // namespace scrivlet
