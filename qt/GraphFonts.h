// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>

#include <string>

namespace vigilon {

// Maps the Windows face names of the program's texts to the Japanese faces
// installed here; safe to call more than once.
void installFontSubstitutes();

// The graph window's font: the application's font, 4 pixels smaller, with
// the given face, not italic.
QFont graphWindowFont(const std::string &face);

inline QString fromUtf8(const std::string &s)
{
    return QString::fromStdString(s);
}

// Program texts break lines with "\r\n"; Qt wants "\n".
QString displayText(const std::string &s);

} // namespace vigilon
