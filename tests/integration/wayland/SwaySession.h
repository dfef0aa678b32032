// SPDX-License-Identifier: GPL-3.0-or-later
// What the Wayland tests share: the session check and the programs a test
// starts (wl-copy, wl-paste, the probe as a clipboard owner or a window).
#pragma once

#include "support/WaitFor.h"

#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>
#include <wayland-client.h>

namespace scrivlet::testing {

constexpr int kWaitMs = 10000;

inline bool eventually(const std::function<bool()> &check)
{
    return waitFor(check, kWaitMs);
}

// Runs a program to its end: what it printed, or nothing when it failed.
inline std::optional<QByteArray> run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kWaitMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// What a started program has printed so far, read without taking it.
inline QStringList linesOf(QProcess &process)
{
    return QString::fromUtf8(process.peek(process.bytesAvailable()))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The interfaces the compositor offers a client, by name.
inline QStringList offeredGlobals()
{
    QStringList names;
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return names;
    static constexpr wl_registry_listener listener {
        [](void *data, wl_registry *, uint32_t, const char *interface, uint32_t) {
            static_cast<QStringList *>(data)->append(QString::fromUtf8(interface));
        },
        [](void *, wl_registry *, uint32_t) {}};
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &names);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return names;
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

    void TearDown() override
    {
        for (const auto &process : m_processes) {
            process->kill();
            process->waitForFinished(2000);
        }
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
        return start(QStringLiteral(PROBE), QStringList {"--timeout", "120000"} + arguments);
    }

    // A window of the probe, which logs the keys it receives; see isShown().
    QProcess &openWindow(const QString &appId) { return startProbe({"--window", appId}); }
    static bool isShown(QProcess &window)
    {
        return eventually([&] { return linesOf(window).contains(QLatin1String("ready")); });
    }
    static QStringList keysOf(QProcess &window)
    {
        return linesOf(window).filter(QRegularExpression(QStringLiteral("^key ")));
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace scrivlet::testing
