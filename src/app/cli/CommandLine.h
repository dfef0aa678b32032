// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

namespace scrivlet::CommandLine {

// What main() does after the command line had its say.
struct Outcome
{
    // Set: exit with this status now.
    std::optional<int> exitStatus;
    // Otherwise start Scrivlet, then show the palette once it can, or the
    // settings window.
    bool showPalette = false;
    bool showSettings = false;
};

// `scrivlet COMMAND …` talks to the running Scrivlet and prints its answer;
// bare `scrivlet` (and toggle/show when none runs) starts it.
[[nodiscard]] Outcome run(int argc, char **argv);

} // namespace scrivlet::CommandLine
