// SPDX-License-Identifier: GPL-3.0-or-later
// What the Wayland tests share: the session check, the programs a test
// starts (wl-copy, wl-paste, the probe) and a capture of the log.
#pragma once

#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace scrivlet::testing {

constexpr int kWaitMs = 10000;

inline bool eventually(const std::function<bool()> &check)
{
    return waitFor(check, kWaitMs);
}

// Runs a program to its end; what it printed.
inline QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(kWaitMs);
    return process.readAllStandardOutput();
}

// A test inside tests/fixtures/sway-session; what it starts ends with it.
class SwaySession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            GTEST_SKIP() << "needs a Wayland compositor: run it in tests/fixtures/sway-session";
    }

    // Starts a program that stays (wl-copy serves its copy from a child).
    QProcess &start(
        const QString &program, const QStringList &arguments, const QByteArray &input = {})
    {
        auto &process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForStarted(kWaitMs)) << program.toStdString();
        if (!input.isNull()) {
            process.write(input);
            process.closeWriteChannel();
        }
        return process;
    }

    QProcess &startProbe(const QStringList &arguments)
    {
        return start(QStringLiteral(PROBE),
            QStringList {QStringLiteral("--timeout"), QStringLiteral("120000")} + arguments);
    }

    void TearDown() override
    {
        for (const auto &process : m_processes) {
            process->kill();
            process->waitForFinished(2000);
        }
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// A window of the probe that logs the keys it receives.
class ProbeWindow
{
public:
    explicit ProbeWindow(const QString &appId)
    {
        m_process.start(QStringLiteral(PROBE),
            {QStringLiteral("--timeout"), QStringLiteral("120000"), QStringLiteral("--window"),
                appId});
        m_ready = eventually([this] { return lines().contains(QLatin1String("ready")); });
    }
    ~ProbeWindow() { close(); }

    [[nodiscard]] bool isReady() const { return m_ready; }
    void close()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    [[nodiscard]] QStringList lines()
    {
        m_output += m_process.readAllStandardOutput();
        return QString::fromUtf8(m_output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    [[nodiscard]] QStringList keys()
    {
        return lines().filter(QRegularExpression(QStringLiteral("^key ")));
    }

private:
    QProcess m_process;
    QByteArray m_output;
    bool m_ready = false;
};

// What is logged while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    [[nodiscard]] static QStringList lines() { return s_lines; }
    [[nodiscard]] static qsizetype count(const QString &text)
    {
        return s_lines.filter(text).size();
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        s_lines.append(message);
    }
    static inline QStringList s_lines;
    QtMessageHandler m_previous;
};

} // namespace scrivlet::testing
