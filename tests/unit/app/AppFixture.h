// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/history/ClipStore.h"
#include "support/Launch.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet::testing {

// The lines logged while it lives; every notice the tray shows is also logged.
class Logged
{
public:
    Logged()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &line) { s_lines << line; });
    }
    ~Logged() { qInstallMessageHandler(m_previous); }
    [[nodiscard]] qsizetype count(const QString &text) const { return s_lines.filter(text).size(); }

private:
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

// Launches of Scrivlet in one throwaway home, over one keyring.
class AppFixture : public ::testing::Test
{
protected:
    QString data() const { return m_root.path() + QStringLiteral("/data"); }
    QString config() const { return m_root.path() + QStringLiteral("/config"); }
    QString defaultsFile() const { return config() + QStringLiteral("/defaults.json"); }
    void writeDefaults(const QByteArray &json)
    {
        QDir().mkpath(config());
        QSaveFile file(defaultsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json);
        ASSERT_TRUE(file.commit());
    }
    QJsonObject stored() const
    {
        QFile in(defaultsFile());
        return in.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(in.readAll()).object()
                                            : QJsonObject();
    }
    static std::size_t entries(Launch &launch)
    {
        return launch.delegate().store()->recentItems(100).size();
    }

    QTemporaryDir m_root;
    FakeKeyring m_keyring;
    FakeDialogs m_dialogs;
};

} // namespace scrivlet::testing
