// A clock for the simulated bridge that jumps instead of sleeping, so every
// wait ends at the moment asked for.
#pragma once

#include "SimBridge.h"

#include <algorithm>

namespace varnetta::sim::testing {

class FakeClock final : public simbridge::Clock
{
public:
    Nanos now() override { return t; }
    void waitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, Nanos until) override
    {
        t = std::max(t, until);
        ++waits;
    }
    Nanos t{0};
    int waits = 0;
};

} // namespace varnetta::sim::testing
