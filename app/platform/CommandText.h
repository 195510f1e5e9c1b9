// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace vigilon::platform {

// Splits a command line into arguments the way Windows programs split theirs
// (the C runtime's rules), so that a command reads the same on every system:
// - blanks and tabs outside double quotes separate arguments;
// - the first argument, the program, ends at the first blank outside quotes,
//   and its quotes only group (backslashes are plain characters there);
// - in later arguments 2n backslashes before a quote give n backslashes and
//   the quote groups; 2n+1 give n backslashes and a literal quote; inside
//   quotes a doubled quote ("") is a literal quote; other backslashes are
//   plain characters;
// - "" on its own is an empty argument.
std::vector<std::string> splitCommandLine(const std::string &commandLine);

// Quotes one argument so that splitCommandLine gives it back unchanged.
// The program (first) cannot hold a double quote; one is dropped.
std::string quoteArgument(const std::string &argument, bool first);

// The arguments joined with blanks, each quoted as needed.
std::string joinCommandLine(const std::vector<std::string> &arguments);

// Every occurrence of placeholder in text replaced by value, from left to
// right; replaced text is not searched again.
std::string replaceAll(const std::string &text, const std::string &placeholder, const std::string &value);

// True when text, folded to lower case, contains needle (lower case).
bool containsNoCase(const std::string &text, const std::string &needle);

} // namespace vigilon::platform
