// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessHardening.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace scrivlet {

void hardenProcess()
{
    const rlimit none {0, 0};
    setrlimit(RLIMIT_CORE, &none);
#ifndef SCRIVLET_SANITIZED
    // LeakSanitizer traces the process it checks, which this would forbid.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

} // namespace scrivlet
