// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessHardening.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace scrivlet {

namespace {

// A signal handler can only reach state of this kind.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: the event loop does the rest.
    (void)!::write(g_signalPipe[1], &byte, 1);
}

} // namespace

void hardenProcess()
{
    // No core file, and no raising the limit again: the hard limit goes too.
    // The pages that hold the key are also left out of any dump (SecretBytes).
    const rlimit none {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    // The process stays dumpable on purpose: the desktop's portals open
    // /proc/PID/root to learn whether a caller is sandboxed, and refuse every
    // request of a process they cannot look at (no paste keystroke, no
    // shortcut, no colour scheme). Other programs of the same user are kept
    // from attaching by the kernel's ptrace policy, not by us.
}

void quitOnTerminationSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) > 0) { }
        QCoreApplication::quit();
    });
    struct sigaction action
    { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace scrivlet
