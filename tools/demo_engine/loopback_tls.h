// TLS for the loopback servers of demos, tests and benchmarks: certificates
// made in memory when a server starts (nothing on disk that could expire),
// the server's OpenSSL context, and the server side of one connection.
#pragma once

#include <openssl/ssl.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace demo {

// A certificate with its private key (EC P-256: quick to make and to use).
class TlsCertificate {
public:
    // A certificate authority for signing server certificates.
    static TlsCertificate Authority(const std::string& commonName);
    // A server certificate for names, each a DNS name or an IP address; signed
    // by issuer, or by itself when issuer is null. Valid from now +
    // validFromSeconds to now + validUntilSeconds (negative: in the past).
    static TlsCertificate Server(const TlsCertificate* issuer,
                                 const std::vector<std::string>& names,
                                 long validFromSeconds = -3600,
                                 long validUntilSeconds = 30L * 24 * 3600);

    TlsCertificate(TlsCertificate&& other) noexcept;
    TlsCertificate& operator=(TlsCertificate&& other) noexcept;
    TlsCertificate(const TlsCertificate&) = delete;
    TlsCertificate& operator=(const TlsCertificate&) = delete;
    ~TlsCertificate();

    // The certificate in PEM, as a CA file holds it.
    std::string pem() const;
    X509* certificate() const { return certificate_; }
    EVP_PKEY* key() const { return key_; }

private:
    TlsCertificate() = default;

    X509* certificate_ = nullptr;
    EVP_PKEY* key_ = nullptr;
};

struct TlsServerOptions {
    // The highest protocol version offered (e.g. TLS1_1_VERSION); 0 for the newest.
    int maxVersion = 0;
    // TLS 1.3 suites (OpenSSL's names, ":"-separated); empty for OpenSSL's defaults.
    std::string cipherSuites;
};

class TlsServerContext {
public:
    explicit TlsServerContext(const TlsCertificate& identity, const TlsServerOptions& options = {});
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    SSL_CTX* get() const { return ctx_; }

private:
    SSL_CTX* ctx_ = nullptr;
};

// The server side of one TLS connection on a connected socket. Records go
// through memory on their way to and from the socket, so a test can also
// take them without sending them, or send them cut short.
class TlsServerSession {
public:
    TlsServerSession(const TlsServerContext& context, int fd);
    ~TlsServerSession();
    TlsServerSession(const TlsServerSession&) = delete;
    TlsServerSession& operator=(const TlsServerSession&) = delete;

    // Completes the handshake. keepGoing is asked after every pollMs without
    // a byte from the client; false from it, a failed handshake or a client
    // that went away give false.
    bool handshake(const std::function<bool()>& keepGoing, int pollMs);
    // Plain bytes: the count read; 0 when the client closed or the connection
    // failed; -1 when nothing came within waitMs.
    long read(char* data, std::size_t len, int waitMs);
    // Encrypts and sends all of it; false when the socket fails.
    bool write(const char* data, std::size_t len);
    // The records that carry bytes, taken instead of sent.
    std::string seal(const std::string& bytes);
    // Sends close_notify.
    void closeNotify();

private:
    enum class Input { Data, Nothing, End };
    Input receive(int waitMs);
    bool flush();

    int fd_;
    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;   // owned by ssl_
    BIO* out_ = nullptr;  // owned by ssl_
    std::vector<char> buffer_;
};

}  // namespace demo
