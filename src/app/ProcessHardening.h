// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace scrivlet {

// Keeps the content key and decrypted history out of core dumps, while the
// desktop's portals can still tell that Scrivlet is not sandboxed.
void hardenProcess();

// SIGTERM and SIGINT (the session ending, Ctrl+C) quit the event loop
// normally instead of killing the process mid-write.
void quitOnTerminationSignals();

} // namespace scrivlet
