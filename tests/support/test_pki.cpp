#include "tests/support/test_pki.h"

#include <openssl/ssl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace testsupport {

namespace {

const std::vector<std::string> kLoopbackNames = {"localhost", "127.0.0.1"};
constexpr long kDay = 24 * 3600;

demo::TlsCertificate issued(const demo::TlsCertificate& ca, long from, long until) {
    return demo::TlsCertificate::Server(&ca, kLoopbackNames, from, until);
}

std::string writeCaFile(const std::string& pem) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                       "/zorvane-test-ca-" + std::to_string(::getpid()) + ".pem";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << pem;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

}  // namespace

TestPki::TestPki()
    : ca_(demo::TlsCertificate::Authority("Zorvane test CA")),
      trusted_(issued(ca_, -3600, 30 * kDay)),
      selfSigned_(demo::TlsCertificate::Server(nullptr, kLoopbackNames)),
      unknownIssuer_(issued(demo::TlsCertificate::Authority("Unknown CA"), -3600, 30 * kDay)),
      otherName_(demo::TlsCertificate::Server(&ca_, {"other.example"})),
      expired_(issued(ca_, -30 * kDay, -kDay)),
      tls11Only_(issued(ca_, -3600, 30 * kDay), {.maxVersion = TLS1_1_VERSION, .cipherSuites = {}}),
      caFile_(writeCaFile(ca_.pem())) {
    ::setenv("ZORVANE_CA_FILE", caFile_.c_str(), 1);
}

const TestPki& TestPki::Get() {
    static const TestPki pki;
    // The file goes with the binary; the variable stays set for its end.
    static const struct Remove {
        ~Remove() { ::unlink(pki.caFile().c_str()); }
    } remove;
    return pki;
}

}  // namespace testsupport
