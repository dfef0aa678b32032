// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace scrivlet {

// Seconds since the Unix epoch. Injected wherever behaviour depends on time,
// so that tests reach a boundary without sleeping.
class Clock
{
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual double now() const = 0;

    // The wall clock.
    static const Clock &system();
};

} // namespace scrivlet
