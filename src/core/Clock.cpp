// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"

#include <QDateTime>

namespace scrivlet {

namespace {

class SystemClock : public Clock
{
public:
    double now() const override { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }
};

} // namespace

const Clock &Clock::system()
{
    static const SystemClock clock;
    return clock;
}

} // namespace scrivlet
