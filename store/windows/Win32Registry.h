// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"

namespace vigilon::reg {

// The Windows registry under HKEY_LOCAL_MACHINE, through the ANSI calls.
// The registry has no transactions here: transact() runs its body and
// reports its result, but writes made before a failure stay.
class Win32Registry final : public Registry {
public:
    std::unique_ptr<Key> openKey(const std::string &path, std::uint32_t access, Status *status = nullptr) override;
    std::unique_ptr<Key> createKey(const std::string &path, Status *status = nullptr) override;
    Status deleteKey(const std::string &path) override;
    std::vector<std::string> subkeys(const std::string &path) override;
    Status transact(const std::function<Status()> &body) override;
    Status readTransact(const std::function<Status()> &body) override;
    Status readAndClearDword(const std::string &keyPath, const std::string &name, std::uint32_t &previous) override;
};

} // namespace vigilon::reg
