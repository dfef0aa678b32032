// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Clock.h"

namespace scrivlet::testing {

class FakeClock : public Clock
{
public:
    double time = 1'800'000'000;
    double now() const override { return time; }
};

} // namespace scrivlet::testing
