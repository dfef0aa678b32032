// SPDX-License-Identifier: GPL-3.0-or-later
// From the release of Super+Shift+V to the palette mapped on screen, through
// the real path: keys typed into the X server by XTest, the passive grab, the
// hotkey manager and the palette controller. Needs an X server (run it inside
// tests/fixtures/session --x11); reports the median and the 90th percentile.
#include "PaletteFixture.h"
#include "app/HotkeyManager.h"
#include "platform/x11/X11HotkeyGrabber.h"
#include "platform/x11/X11KeyboardLayout.h"
#include "ui/palette/PaletteWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <xcb/xtest.h>

namespace {

using namespace scrivlet;
using namespace scrivlet::bench;
using GlobalShortcuts::Key;

xcb_connection_t *qtConnection()
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// A keyboard of its own, as another program's keys would come.
class Typist
{
public:
    Typist()
        : m_connection(xcb_connect(nullptr, nullptr))
        , m_layout(m_connection)
    { }
    ~Typist() { xcb_disconnect(m_connection); }
    void send(Key key, bool press)
    {
        const auto keycode = m_layout.keycodeFor(key);
        if (!keycode)
            return;
        xcb_test_fake_input(m_connection, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, *keycode,
            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t *m_connection;
    X11KeyboardLayout m_layout;
};

bool waitUntil(const std::function<bool()> &condition)
{
    QDeadlineTimer deadline(5000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void releaseToMapped(benchmark::State &state)
{
    Fixture &f = fixture();
    X11HotkeyGrabber grabber(qtConnection());
    GlobalShortcuts::ShortcutStore shortcuts(*f.defaults);
    HotkeyManager manager(shortcuts, grabber, [&f] { f.palette->toggle(); });
    manager.start();
    if (!manager.isRegistered()) {
        state.SkipWithError("Super+Shift+V could not be grabbed");
        return;
    }
    Typist typist;
    const Key super {55}, shift {56}, v {9};
    std::vector<double> samples;
    for (auto _ : state) {
        typist.send(super, true);
        typist.send(shift, true);
        typist.send(v, true);
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        typist.send(v, false);
        const bool shown = waitUntil([&f] {
            return f.palette->window() && f.palette->window()->windowHandle()
                && f.palette->window()->windowHandle()->isExposed();
        });
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        typist.send(shift, false);
        typist.send(super, false);
        if (!shown) {
            state.SkipWithError("the palette never appeared");
            return;
        }
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1e3);
        f.palette->hide();
        waitUntil([&f] { return !f.palette->window()->isVisible(); });
        QCoreApplication::processEvents();
    }
    std::sort(samples.begin(), samples.end());
    if (!samples.empty()) {
        state.counters["median_ms"] = samples[samples.size() / 2];
        state.counters["p90_ms"] = samples[samples.size() * 9 / 10];
    }
}
BENCHMARK(releaseToMapped)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "needs an X server: run it inside tests/fixtures/session --x11\n");
        return 1;
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Crypto::setShared(std::nullopt);
    return 0;
}
