// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace scrivlet {

// The pointer's buttons as the desktop reports them now.
class PointerButtons
{
public:
    virtual ~PointerButtons() = default;
    // Whether any button is down, as during a drag across text.
    [[nodiscard]] virtual bool isAnyHeld() = 0;
};

} // namespace scrivlet
