// SPDX-License-Identifier: MIT
#pragma once

#include "base/Language.h"

#include <cstdint>
#include <string>

namespace vigilon::svc {

// Ids of Vigilsvc's string table.
namespace ssid {
constexpr unsigned InstallFailed = 2;        // %s display name, %s reason
constexpr unsigned Installed = 3;            // %s display name
constexpr unsigned DisplayName = 4;
constexpr unsigned CreateServiceFailed = 5;  // %s error text
constexpr unsigned OpenManagerFailed = 6;    // %s error text
constexpr unsigned Stopping = 7;             // %s display name
constexpr unsigned StopDone = 8;             // %s display name
constexpr unsigned StopFailed = 9;           // %s display name
constexpr unsigned Removed = 10;             // %s display name
constexpr unsigned DeleteServiceFailed = 11; // %s error text
constexpr unsigned OpenServiceFailed = 12;   // %s error text
constexpr unsigned ServiceStarted = 14;
constexpr unsigned ServiceStopped = 15;
constexpr unsigned DispatcherFailed = 16;
constexpr unsigned SetStatusFailed = 17;
constexpr unsigned Description = 18;
constexpr unsigned GrantedNoCommands = 19;
} // namespace ssid

// The program's languages, chosen as Vigilon chooses its own.
using vigilon::Language;
using vigilon::languageFromLocale;
// The language of this process: VIGILON_LANG when it names one, else the
// user's messages locale (on Windows the user's display language).
Language userLanguage();

// A text of the string table in UTF-8; empty for an unknown id.
const std::string &serviceString(unsigned id, Language language);

// Event types, with the event log's codes.
enum class EventType : std::uint16_t { Error = 1, Warning = 2, Information = 4 };

// The message table entry of an event type.
std::uint32_t eventId(EventType type);
// The record text of an event: its message with %1 replaced by insertion.
std::string eventRecordText(EventType type, const std::string &insertion, Language language);

// The name under which the service is installed and logs.
constexpr const char *kServiceName = "Vigilsvc";

// The usage lines, in the order they are printed, with the service name
// filled in.
std::string usageText();

} // namespace vigilon::svc
