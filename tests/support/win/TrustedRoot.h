// SPDX-License-Identifier: MIT
#pragma once

// A test's own CA made a trusted root of the user, in the Wine prefix's own
// store, as a user who imports a company's CA does.
#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vigilon::test {

// True once the CA of the PEM file at path is among the user's roots.
inline bool trustRootCa(const char *path)
{
    std::ifstream file(path, std::ios::binary);
    const std::string pem{std::istreambuf_iterator<char>(file), {}};
    // The DER form is shorter than its base64 text.
    std::vector<BYTE> der(pem.size());
    DWORD size = static_cast<DWORD>(der.size());
    if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                             der.data(), &size, nullptr, nullptr))
        return false;
    HCERTSTORE roots = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!roots)
        return false;
    const bool added = CertAddEncodedCertificateToStore(roots, X509_ASN_ENCODING, der.data(), size,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    CertCloseStore(roots, 0);
    return added;
}

} // namespace vigilon::test
