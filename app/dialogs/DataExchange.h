// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/EditField.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vigilon {

// Moves values between dialog fields and edit controls with the checks and
// English messages of the dialog framework. A failed check shows its
// message once (exclamation icon), puts the focus on the control with its
// text selected, and reports failure so that the caller stops reading.
class DataExchange {
public:
    // alive, when given, tells after a message whether the dialog (and so
    // the field) is still there.
    explicit DataExchange(Prompter &prompter, std::shared_ptr<bool> alive = nullptr)
        : prompter_(prompter)
        , alive_(std::move(alive))
    {
    }

    enum class Outcome {
        Ok,
        NotNumber, // empty, or not a number
        OutOfRange,
    };

    // Signed field (sid::ParseInteger). On OutOfRange `value` takes
    // the number read when assignOutOfRange is set, as the framework does;
    // otherwise, and always on NotNumber, it keeps its previous value.
    Outcome readInt(EditField &edit, std::int64_t &value, std::int64_t low, std::int64_t high, bool assignOutOfRange);
    // Unsigned field (sid::ParseUnsigned); out-of-range
    // numbers never reach the field.
    Outcome readUnsigned(EditField &edit, std::uint32_t &value, std::uint32_t low, std::uint32_t high);
    // A text of at most maxChars characters.
    bool readText(EditField &edit, std::string &value, std::size_t maxChars);
    // A host name or address of at most maxChars characters, without the
    // blanks and tabs around it; one holding a blank or a control character
    // is refused (sid::HostInvalid). Empty is empty.
    bool readHost(EditField &edit, std::string &value, std::size_t maxChars);

    static void writeNumber(EditField &edit, std::int64_t value);

    // Parses the text as the framework does: blanks around, an optional sign
    // (signed fields only) and decimal digits. Numbers too large to hold
    // read as out of range (saturated).
    static bool parse(const std::string &text, bool allowSign, std::int64_t &out);

private:
    void fail(EditField &edit, const std::string &message);
    Prompter &prompter_;
    std::shared_ptr<bool> alive_;
};

// The framework's message for an empty or non-numeric unsigned field; the
// program carries it in English like the other data-exchange messages.
extern const char *const kParseUnsignedMessage;

// The number of characters of a UTF-8 text.
std::size_t utf8Length(const std::string &text);

} // namespace vigilon
