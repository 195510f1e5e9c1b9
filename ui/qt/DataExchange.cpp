// SPDX-License-Identifier: MIT
#include "ui/qt/DataExchange.h"

#include "app/base/StringTable.h"

#include <QLineEdit>
#include <QPointer>
#include <QString>

#include <limits>

namespace vigilon {

const char *const kParseUnsignedMessage = "Please enter a positive integer.";

namespace {
std::string numbered(const std::string &format, const std::string &first, const std::string &second)
{
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == '1' || format[i + 1] == '2')) {
            out += format[i + 1] == '1' ? first : second;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}
} // namespace

bool DataExchange::parse(const QString &text, bool allowSign, std::int64_t &out)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (allowSign && i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= t.size())
        return false;
    constexpr std::int64_t cap = std::numeric_limits<std::int32_t>::max() + std::int64_t(1);
    std::int64_t value = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - '0');
        if (value > cap)
            value = cap;
    }
    out = negative ? -value : value;
    return true;
}

void DataExchange::fail(QLineEdit *edit, const std::string &message)
{
    // The message nests the event loop; the dialog may be gone after it.
    const QPointer<QLineEdit> guard(edit);
    prompter_.messageBox(message, "", mb::Ok | mb::IconExclamation);
    if (!guard)
        return;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

DataExchange::Outcome DataExchange::readInt(QLineEdit *edit, std::int64_t &value, std::int64_t low,
                                            std::int64_t high, bool assignOutOfRange)
{
    std::int64_t read = 0;
    if (!parse(edit->text(), true, read)) {
        fail(edit, loadString(sid::ParseInteger));
        return Outcome::NotNumber;
    }
    if (read < low || read > high) {
        if (assignOutOfRange)
            value = read;
        fail(edit, numbered(loadString(sid::ParseIntegerRange), std::to_string(low), std::to_string(high)));
        return Outcome::OutOfRange;
    }
    value = read;
    return Outcome::Ok;
}

DataExchange::Outcome DataExchange::readUnsigned(QLineEdit *edit, std::uint32_t &value, std::uint32_t low,
                                                 std::uint32_t high)
{
    std::int64_t read = 0;
    if (!parse(edit->text(), false, read)) {
        fail(edit, kParseUnsignedMessage);
        return Outcome::NotNumber;
    }
    if (read < low || read > high) {
        fail(edit, numbered(loadString(sid::ParseIntegerRange), std::to_string(low), std::to_string(high)));
        return Outcome::OutOfRange;
    }
    value = static_cast<std::uint32_t>(read);
    return Outcome::Ok;
}

bool DataExchange::readText(QLineEdit *edit, std::string &value, int maxChars)
{
    const QString text = edit->text();
    if (text.size() > maxChars) {
        fail(edit, numbered(loadString(sid::ParseStringSize), std::to_string(maxChars), ""));
        return false;
    }
    value = text.toStdString();
    return true;
}

void DataExchange::writeNumber(QLineEdit *edit, std::int64_t value)
{
    edit->setText(QString::number(value));
}

} // namespace vigilon
