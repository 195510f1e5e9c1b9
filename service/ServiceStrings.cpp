// SPDX-License-Identifier: MIT
#include "service/ServiceStrings.h"

#include "base/TextFormat.h"

#include <array>

namespace vigilon::svc {

namespace {

struct Entry {
    unsigned id;
    std::string english;
    std::string japanese;
};

const std::array<Entry, 17> &stringTable()
{
#define VIGILSVC_STRING(id, en, ja) Entry{id, en, ja},
    static const std::array<Entry, 17> table{{
#include "res/vigilsvc/strings.inc"
    }};
#undef VIGILSVC_STRING
    return table;
}

struct Message {
    std::uint32_t eventId;
    unsigned type;
    std::string english;
    std::string japanese;
};

const std::array<Message, 3> &messageTable()
{
#define VIGILSVC_MESSAGE(id, type, en, ja) Message{id, type, en, ja},
    static const std::array<Message, 3> table{{
#include "res/vigilsvc/messages.inc"
    }};
#undef VIGILSVC_MESSAGE
    return table;
}

const Message &messageFor(EventType type)
{
    for (const Message &m : messageTable())
        if (m.type == static_cast<unsigned>(type))
            return m;
    return messageTable().back(); // only the three types exist
}

} // namespace

Language userLanguage()
{
    return chooseLanguage();
}

const std::string &serviceString(unsigned id, Language language)
{
    for (const Entry &e : stringTable())
        if (e.id == id)
            return language == Language::Japanese ? e.japanese : e.english;
    static const std::string none;
    return none;
}

std::uint32_t eventId(EventType type) { return messageFor(type).eventId; }

std::string eventRecordText(EventType type, const std::string &insertion, Language language)
{
    const Message &m = messageFor(type);
    std::string text = language == Language::Japanese ? m.japanese : m.english;
    const auto place = text.find("%1");
    if (place != std::string::npos)
        text.replace(place, 2, insertion);
    return text;
}

std::string usageText()
{
    const std::string name = kServiceName;
    return formatText("%s -install          to install the service\n", {name}) +
           formatText("%s -remove           to remove the service\n", {name}) +
           formatText("%s -debug <params>   to run as a console app for debugging\n", {name}) +
           "\nStartServiceCtrlDispatcher being called.\n"
           "This may take several seconds.  Please wait.\n";
}

} // namespace vigilon::svc
