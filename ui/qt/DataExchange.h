// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Prompter.h"

#include <cstdint>
#include <string>

class QLineEdit;
class QString;

namespace vigilon {

// Moves values between dialog fields and edit controls with the checks and
// English messages of the dialog framework. A failed check shows its
// message once (exclamation icon), puts the focus on the control with its
// text selected, and reports false so that the caller stops reading.
class DataExchange {
public:
    explicit DataExchange(Prompter &prompter)
        : prompter_(prompter)
    {
    }

    enum class Outcome {
        Ok,
        NotNumber, // empty, or not a number
        OutOfRange,
    };

    // Signed field ("Please enter an integer."). On OutOfRange `value` takes
    // the number read when assignOutOfRange is set, as the framework does;
    // otherwise, and always on NotNumber, it keeps its previous value.
    Outcome readInt(QLineEdit *edit, std::int64_t &value, std::int64_t low, std::int64_t high,
                    bool assignOutOfRange);
    // Unsigned field ("Please enter a positive integer."); out-of-range
    // numbers never reach the field.
    Outcome readUnsigned(QLineEdit *edit, std::uint32_t &value, std::uint32_t low, std::uint32_t high);
    // A text of at most maxChars characters.
    bool readText(QLineEdit *edit, std::string &value, int maxChars);

    static void writeNumber(QLineEdit *edit, std::int64_t value);

    // Parses the text as the framework does: blanks around, an optional sign
    // (signed fields only) and decimal digits. Numbers too large to hold
    // read as out of range (saturated).
    static bool parse(const QString &text, bool allowSign, std::int64_t &out);

private:
    void fail(QLineEdit *edit, const std::string &message);
    Prompter &prompter_;
};

// The framework's message for an empty or non-numeric unsigned field; the
// program carries it in English like the other data-exchange messages.
extern const char *const kParseUnsignedMessage;

} // namespace vigilon
