// SPDX-License-Identifier: MIT
#pragma once

#include "store/ConfigAccess.h"

namespace vigilon::reg {

// The owner and access list of a key of HKEY_LOCAL_MACHINE, named as the
// security functions name it ("MACHINE\Software\..."); read = false when
// they cannot be read.
KeySecurity readKeySecurity(const wchar_t *objectName);

// Whether users other than the administrators may change Vigilon's
// configuration: the program's key or its "Monitor" subkey, which holds the
// alert commands. A key that does not exist yet is judged by the nearest
// key above it that does, as that decides who may make it.
bool configurationWritableByNonAdministrators();

} // namespace vigilon::reg
