#include "tools/demo_engine/loopback_tls.h"
#include "tools/demo_engine/loopback_server.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace demo {

namespace {

// Read from the socket at a time; enough for several whole records.
constexpr std::size_t kReceiveBytes = 64 * 1024;

[[noreturn]] void failed(const char* what) {
    const unsigned long code = ERR_get_error();
    char reason[256] = "";
    if (code != 0) {
        ERR_error_string_n(code, reason, sizeof reason);
    }
    throw std::runtime_error(std::string(what) + ": " + reason);
}

bool isAddress(const std::string& name) {
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, name.c_str(), bytes) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

void addExtension(X509* certificate, X509V3_CTX& context, int nid, const std::string& value) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr || X509_add_ext(certificate, extension, -1) != 1) {
        X509_EXTENSION_free(extension);
        failed("certificate extension");
    }
    X509_EXTENSION_free(extension);
}

}  // namespace

TlsCertificate::TlsCertificate(TlsCertificate&& other) noexcept
    : certificate_(std::exchange(other.certificate_, nullptr)),
      key_(std::exchange(other.key_, nullptr)) {}

TlsCertificate& TlsCertificate::operator=(TlsCertificate&& other) noexcept {
    std::swap(certificate_, other.certificate_);
    std::swap(key_, other.key_);
    return *this;
}

TlsCertificate::~TlsCertificate() {
    X509_free(certificate_);
    EVP_PKEY_free(key_);
}

TlsCertificate TlsCertificate::Authority(const std::string& commonName) {
    TlsCertificate made;
    made.key_ = EVP_EC_gen("P-256");
    made.certificate_ = X509_new();
    if (made.key_ == nullptr || made.certificate_ == nullptr) {
        failed("certificate authority");
    }
    X509* x = made.certificate_;
    std::uint64_t serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    X509_set_version(x, X509_VERSION_3);
    ASN1_INTEGER_set_uint64(X509_get_serialNumber(x), serial >> 1);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 30L * 24 * 3600);
    X509_set_pubkey(x, made.key_);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(x, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x, x, nullptr, nullptr, 0);
    addExtension(x, context, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(x, context, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(x, context, NID_subject_key_identifier, "hash");
    if (X509_sign(x, made.key_, EVP_sha256()) == 0) {
        failed("signing the certificate authority");
    }
    return made;
}

TlsCertificate TlsCertificate::Server(const TlsCertificate* issuer,
                                      const std::vector<std::string>& names, long validFromSeconds,
                                      long validUntilSeconds) {
    TlsCertificate made;
    made.key_ = EVP_EC_gen("P-256");
    made.certificate_ = X509_new();
    if (made.key_ == nullptr || made.certificate_ == nullptr || names.empty()) {
        failed("server certificate");
    }
    X509* x = made.certificate_;
    X509* signer = issuer != nullptr ? issuer->certificate_ : x;
    EVP_PKEY* signingKey = issuer != nullptr ? issuer->key_ : made.key_;
    std::uint64_t serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    X509_set_version(x, X509_VERSION_3);
    ASN1_INTEGER_set_uint64(X509_get_serialNumber(x), serial >> 1);
    X509_gmtime_adj(X509_getm_notBefore(x), validFromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(x), validUntilSeconds);
    X509_set_pubkey(x, made.key_);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(names.front().c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(x, X509_get_subject_name(signer));
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, signer, x, nullptr, nullptr, 0);
    std::string alternatives;
    for (const std::string& entry : names) {
        alternatives += alternatives.empty() ? "" : ",";
        alternatives += (isAddress(entry) ? "IP:" : "DNS:") + entry;
    }
    addExtension(x, context, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(x, context, NID_key_usage, "critical,digitalSignature");
    addExtension(x, context, NID_ext_key_usage, "serverAuth");
    addExtension(x, context, NID_subject_key_identifier, "hash");
    if (issuer != nullptr) {
        addExtension(x, context, NID_authority_key_identifier, "keyid:always");
    }
    addExtension(x, context, NID_subject_alt_name, alternatives);
    if (X509_sign(x, signingKey, EVP_sha256()) == 0) {
        failed("signing the server certificate");
    }
    return made;
}

std::string TlsCertificate::pem() const {
    BIO* out = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(out, certificate_);
    char* data = nullptr;
    const long len = BIO_get_mem_data(out, &data);
    std::string text(data, static_cast<std::size_t>(len));
    BIO_free(out);
    return text;
}

TlsServerContext::TlsServerContext(const TlsCertificate& identity,
                                   const TlsServerOptions& options) {
    ctx_ = SSL_CTX_new(TLS_server_method());
    if (ctx_ == nullptr || SSL_CTX_use_certificate(ctx_, identity.certificate()) != 1 ||
        SSL_CTX_use_PrivateKey(ctx_, identity.key()) != 1) {
        SSL_CTX_free(ctx_);
        failed("server context");
    }
    if (options.maxVersion != 0) {
        // Versions below TLS 1.2 need the lowest security level to be offered at all.
        SSL_CTX_set_security_level(ctx_, 0);
        SSL_CTX_set_min_proto_version(ctx_, options.maxVersion);
        SSL_CTX_set_max_proto_version(ctx_, options.maxVersion);
    }
    if (!options.cipherSuites.empty() &&
        SSL_CTX_set_ciphersuites(ctx_, options.cipherSuites.c_str()) != 1) {
        SSL_CTX_free(ctx_);
        failed("cipher suites");
    }
}

TlsServerContext::~TlsServerContext() {
    SSL_CTX_free(ctx_);
}

TlsServerSession::TlsServerSession(const TlsServerContext& context, int fd)
    : fd_(fd), buffer_(kReceiveBytes) {
    ssl_ = SSL_new(context.get());
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    if (ssl_ == nullptr || in_ == nullptr || out_ == nullptr) {
        BIO_free(in_);
        BIO_free(out_);
        SSL_free(ssl_);
        failed("server session");
    }
    SSL_set_bio(ssl_, in_, out_);
    SSL_set_accept_state(ssl_);
}

TlsServerSession::~TlsServerSession() {
    SSL_free(ssl_);
}

TlsServerSession::Input TlsServerSession::receive(int waitMs) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, waitMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) {
        return Input::Nothing;
    }
    const ssize_t n = ready > 0 ? ::recv(fd_, buffer_.data(), buffer_.size(), 0) : -1;
    if (n <= 0) {
        // OpenSSL sees the end as the client's close.
        BIO_set_mem_eof_return(in_, 0);
        return Input::End;
    }
    BIO_write(in_, buffer_.data(), static_cast<int>(n));
    return Input::Data;
}

bool TlsServerSession::flush() {
    char piece[16 * 1024];
    for (;;) {
        const int n = BIO_read(out_, piece, sizeof piece);
        if (n <= 0) {
            return true;
        }
        if (!SendAll(fd_, piece, static_cast<std::size_t>(n))) {
            return false;
        }
    }
}

bool TlsServerSession::handshake(const std::function<bool()>& keepGoing, int pollMs) {
    for (;;) {
        ERR_clear_error();
        const int result = SSL_accept(ssl_);
        if (!flush()) {
            return false;
        }
        if (result == 1) {
            return true;
        }
        if (SSL_get_error(ssl_, result) != SSL_ERROR_WANT_READ) {
            return false;
        }
        for (;;) {
            const Input input = receive(pollMs);
            if (input != Input::Nothing) {
                break;
            }
            if (!keepGoing()) {
                return false;
            }
        }
    }
}

long TlsServerSession::read(char* data, std::size_t len, int waitMs) {
    for (;;) {
        ERR_clear_error();
        std::size_t n = 0;
        const int result = SSL_read_ex(ssl_, data, len, &n);
        if (!flush()) {
            return 0;
        }
        if (result == 1) {
            return static_cast<long>(n);
        }
        if (SSL_get_error(ssl_, result) != SSL_ERROR_WANT_READ) {
            return 0;
        }
        if (receive(waitMs) == Input::Nothing) {
            return -1;
        }
    }
}

bool TlsServerSession::write(const char* data, std::size_t len) {
    std::size_t written = 0;
    ERR_clear_error();
    return SSL_write_ex(ssl_, data, len, &written) == 1 && flush();
}

std::string TlsServerSession::seal(const std::string& bytes) {
    std::size_t written = 0;
    ERR_clear_error();
    if (SSL_write_ex(ssl_, bytes.data(), bytes.size(), &written) != 1) {
        failed("sealing records");
    }
    std::string records;
    char piece[16 * 1024];
    for (int n; (n = BIO_read(out_, piece, sizeof piece)) > 0;) {
        records.append(piece, static_cast<std::size_t>(n));
    }
    return records;
}

void TlsServerSession::closeNotify() {
    ERR_clear_error();
    SSL_shutdown(ssl_);
    flush();
}

}  // namespace demo
