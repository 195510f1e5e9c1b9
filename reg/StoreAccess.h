// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"

#include <memory>

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

} // namespace vigilon::regtool
