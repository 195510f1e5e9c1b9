// SPDX-License-Identifier: MIT
#pragma once

#include "base/StringTable.h"

#include <QString>

namespace vigilon {

// A text of the string table in the interface's language, its "\r\n" line
// breaks as Qt shows them.
inline QString uiText(unsigned id)
{
    return QString::fromStdString(loadString(id)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace vigilon
