// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"

#include <memory>
#include <string>

// What vigilon-reg needs of the store the program uses, once per system
// (posix/, windows/).
namespace vigilon::regtool {

// The paragraph of the help that says where the store is.
const char *storeHelp();

// Opens the store; readOnly for a query, which never writes.
std::unique_ptr<reg::Registry> openStore(bool readOnly, reg::Status &status);

// Warns on standard error when a running Vigilon holds the store: it writes
// its whole configuration back on every change and at exit, over what was
// changed here meanwhile.
void warnIfHeld();

// Makes the file an export writes, empty, before it is written: off
// Windows readable and writable by its user alone, as the store's file is,
// for it holds the configuration's secrets as the store does. False, with
// errno set, when it cannot be made.
bool makeExportFile(const std::string &file);

} // namespace vigilon::regtool
