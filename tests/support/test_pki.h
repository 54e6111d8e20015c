// The certificates of the TLS tests, made in memory once per test binary: a
// CA that the client trusts through ZORVANE_CA_FILE, and server contexts for
// the good case and for each way a certificate can be wrong.
#pragma once

#include <string>

#include "tools/demo_engine/loopback_tls.h"

namespace testsupport {

class TestPki {
public:
    // The first call writes the CA file and sets ZORVANE_CA_FILE, so it must
    // come before the first https connection of the binary: the client reads
    // the variable once.
    static const TestPki& Get();

    // localhost and 127.0.0.1, signed by the trusted CA.
    const demo::TlsServerContext& trusted() const { return trusted_; }
    // The same names, signed by the server itself.
    const demo::TlsServerContext& selfSigned() const { return selfSigned_; }
    // The same names, signed by a CA that the client does not know.
    const demo::TlsServerContext& unknownIssuer() const { return unknownIssuer_; }
    // Signed by the trusted CA for other.example only.
    const demo::TlsServerContext& otherName() const { return otherName_; }
    // The right names from the trusted CA, valid until yesterday.
    const demo::TlsServerContext& expired() const { return expired_; }
    // The trusted certificate, offering TLS 1.1 and nothing newer.
    const demo::TlsServerContext& tls11Only() const { return tls11Only_; }

    const std::string& caFile() const { return caFile_; }

private:
    TestPki();

    demo::TlsCertificate ca_;
    demo::TlsServerContext trusted_;
    demo::TlsServerContext selfSigned_;
    demo::TlsServerContext unknownIssuer_;
    demo::TlsServerContext otherName_;
    demo::TlsServerContext expired_;
    demo::TlsServerContext tls11Only_;
    std::string caFile_;
};

}  // namespace testsupport
