// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/ColorScheme.h"

namespace scrivlet::testing {

class FakeColorScheme : public ColorScheme
{
public:
    std::optional<bool> dark;
    std::optional<bool> prefersDark() override { return dark; }
    void set(std::optional<bool> value)
    {
        dark = value;
        Q_EMIT changed();
    }
};

} // namespace scrivlet::testing
