// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vigilon {

// One Vigilon runs per configuration store. Off Windows the running one
// holds an exclusive lock on "<runtime folder>/<instanceKey(store)>.lock",
// where the runtime folder is $XDG_RUNTIME_DIR (when it is private and a
// socket path made in it fits), else "vigilon-<uid>" under the temporary
// directory, else "vigilon-<uid>" in the user's cache folder: the first of
// them that is our own folder closed to others.

// The lock's name: a digest of the store's absolute path with its folder
// resolved, so that every spelling of one store gives the same name.
std::string instanceKey(const std::string &storePath);

// The folder the lock lives in; empty, with error set, when none of the
// places is ours and private.
std::string instanceRuntimeDir(std::string &error);

// True when a running Vigilon holds the lock of this store (never on
// Windows, where no such lock is made).
bool storeHeldByRunningInstance(const std::string &storePath);

} // namespace vigilon
