// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fstream>
#include <string>

namespace scrivlet::testing {

// The kilobytes a /proc file of this process gives under `field`; 0 where
// /proc cannot tell.
inline long procKilobytes(const char *file, const std::string &field)
{
    std::ifstream in(file);
    std::string word;
    while (in >> word) {
        if (word == field) {
            long kilobytes = 0;
            in >> kilobytes;
            return kilobytes;
        }
    }
    return 0;
}

// The process's resident set.
inline long residentKilobytes()
{
    return procKilobytes("/proc/self/status", "VmRSS:");
}

// Its proportional share of the memory it maps.
inline long proportionalKilobytes()
{
    return procKilobytes("/proc/self/smaps_rollup", "Pss:");
}

} // namespace scrivlet::testing
