// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"

#include <cstddef>
#include <string>
#include <vector>

// The registry editor's file format, for moving the configuration between
// stores and systems. Files are written as the editor writes them (the
// "Windows Registry Editor Version 5.00" header, UTF-16 LE with a byte-order
// mark, CRLF lines) and read in that form, in UTF-8 with or without a mark,
// and in the older "REGEDIT4" form.
namespace vigilon::reg {

// The tree a file of ours holds, below HKEY_LOCAL_MACHINE: nothing outside
// it is written or taken.
extern const char *const kRegFileTree;

// Text between the store's character set and UTF-8, once per system (the
// store's strings and names are UTF-8 on POSIX systems, the ANSI code page
// on Windows). False when the text has no form in the other.
bool storeTextToUtf8(const std::string &stored, std::string &utf8);
bool utf8ToStoreText(const std::string &utf8, std::string &stored);
// Whole UTF-8: no malformed or overlong sequence, no surrogate.
bool isUtf8(const std::string &text);

// One step of an import, in the file's order.
struct RegFileStep {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = CreateKey;
    std::string keyPath; // below HKEY_LOCAL_MACHINE, in the store's characters
    std::string name;    // the value's; empty for the default value ("@")
    Value value;
    std::size_t line = 0; // where the file says it
};

// Why a file was not taken: the line (1 for the first) and the cause.
struct RegFileError {
    std::size_t line = 0;
    std::string why;
};

// Reads a whole file into steps, or into the first fault found. Keys
// outside kRegFileTree are faults.
bool parseRegFile(const std::string &bytes, std::vector<RegFileStep> &steps, RegFileError &error);

// Applies parsed steps as one transaction of the store (on a store without
// transactions, in order after the whole file was read). Deleting what is
// not there is no fault, as with the registry editor.
Status applyRegFile(Registry &registry, const std::vector<RegFileStep> &steps);

// Writes kRegFileTree with every key and value below it as a file's bytes,
// read in one consistent state. False when it cannot: status says the
// store's fault (NotFound when there is no tree), or it stays Ok and
// problem names a key or value whose text has no form in the file.
bool exportRegFile(Registry &registry, std::string &bytes, Status &status, std::string &problem);

} // namespace vigilon::reg
