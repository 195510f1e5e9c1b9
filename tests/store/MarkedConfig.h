// SPDX-License-Identifier: MIT
// A configuration whose every field carries a marker number, so that a test
// can tell which save a store holds and whether it holds it whole.
#pragma once

#include "app/base/MonitorPort.h"

#include <string>

namespace vigilon::test {

constexpr int kMarkedEntries = 5;

inline std::string markedTarget(int marker)
{
    return "host-" + std::to_string(marker) + ".example";
}

inline PortList markedPorts(int marker, int count = kMarkedEntries)
{
    PortList ports;
    for (int i = 0; i < count; ++i) {
        auto entry = std::make_unique<MonitorPort>();
        const auto m = static_cast<std::uint32_t>(marker);
        entry->port = m * 100 + static_cast<std::uint32_t>(i);
        entry->protocol = static_cast<std::uint32_t>(i % 4);
        entry->name = "entry " + std::to_string(marker) + "." + std::to_string(i);
        entry->command = "alert " + std::to_string(marker) + " %TARGET%";
        entry->threshold = m;
        entry->active = 1;
        entry->action = m;
        ports.push_back(std::move(entry));
    }
    appendPlaceholder(ports);
    return ports;
}

} // namespace vigilon::test
