// SPDX-License-Identifier: MIT
// A build without a TLS library for its system: no session can be made.
#include "probes/TlsSession.h"

namespace vigilon::tls {

std::unique_ptr<Session> openSession(const std::string &, std::string *error)
{
    if (error)
        *error = "this build has no TLS library";
    return nullptr;
}

} // namespace vigilon::tls
