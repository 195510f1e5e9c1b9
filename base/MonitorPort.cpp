// SPDX-License-Identifier: MIT
#include "base/MonitorPort.h"

#include "base/StringTable.h"

namespace vigilon {

MonitorPort::MonitorPort() = default;
MonitorPort::~MonitorPort() = default;

const std::string &placeholderName()
{
    return loadString(114);
}

void appendPlaceholder(PortList &ports)
{
    auto entry = std::make_unique<MonitorPort>();
    entry->name = placeholderName();
    entry->rowHint = ports.size();
    ports.push_back(std::move(entry));
}

std::size_t realEntryCount(const PortList &ports)
{
    return ports.empty() ? 0 : ports.size() - 1;
}

int rowOf(const PortList &ports, const MonitorPort &entry)
{
    if (entry.rowHint < ports.size() && ports[entry.rowHint].get() == &entry)
        return static_cast<int>(entry.rowHint);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].get() == &entry) {
            entry.rowHint = i;
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool isStableId(const std::string &text)
{
    if (text.empty() || text.size() > 64)
        return false;
    bool digitsOnly = true;
    for (const char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit && !(c >= 'a' && c <= 'z') && c != '-' && c != '_')
            return false;
        digitsOnly = digitsOnly && digit;
    }
    return !digitsOnly;
}

} // namespace vigilon
