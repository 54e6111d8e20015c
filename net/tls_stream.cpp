// The client side of TLS: one OpenSSL context for the whole program (the CA
// store is loaded once), a BIO that moves OpenSSL's records through the
// stream below, and the handshake paced like a connect.
#include "net/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdlib>
#include <new>
#include <utility>

#include "net/http_error.h"

namespace net {

// OpenSSL calls these through C frames, so nothing may be thrown across them:
// a failure of the stream below is held and thrown once the SSL call returns.
struct LowerBio {
    static TlsStream& owner(BIO* bio) { return *static_cast<TlsStream*>(BIO_get_data(bio)); }

    static int write(BIO* bio, const char* data, int len) {
        BIO_clear_retry_flags(bio);
        TlsStream& tls = owner(bio);
        try {
            const std::size_t n = tls.lower_->write(data, static_cast<std::size_t>(len));
            if (n == 0) {
                BIO_set_retry_write(bio);
                return -1;
            }
            return static_cast<int>(n);
        } catch (...) {
            tls.lowerFailure_ = std::current_exception();
            return -1;
        }
    }

    static int read(BIO* bio, char* data, int len) {
        BIO_clear_retry_flags(bio);
        TlsStream& tls = owner(bio);
        try {
            const auto n = tls.lower_->read(data, static_cast<std::size_t>(len));
            if (!n) {
                BIO_set_retry_read(bio);
                return -1;
            }
            tls.lowerEnded_ = *n == 0;
            return static_cast<int>(*n);
        } catch (...) {
            tls.lowerFailure_ = std::current_exception();
            return -1;
        }
    }

    static long control(BIO* bio, int command, long, void*) {
        switch (command) {
            case BIO_CTRL_FLUSH:
                return 1;
            case BIO_CTRL_EOF:
                return owner(bio).lowerEnded_ ? 1 : 0;
            default:
                return 0;
        }
    }
};

namespace {

// The reason of the newest OpenSSL error on this thread, or fallback.
std::string openSslReason(const char* fallback) {
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason != nullptr ? reason : fallback;
}

class ClientContext {
public:
    ClientContext() {
        ctx_ = SSL_CTX_new(TLS_client_method());
        method_ = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zorvane stream");
        if (ctx_ == nullptr || method_ == nullptr) {
            throw std::bad_alloc();
        }
        SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
        SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(ctx_);
        // The writer hands on what is left of its buffer after a partial write.
        SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        SSL_CTX_set_options(ctx_, SSL_OP_NO_RENEGOTIATION);
        const char* caFile = std::getenv("ZORVANE_CA_FILE");
        if (caFile != nullptr && *caFile != '\0' &&
            SSL_CTX_load_verify_locations(ctx_, caFile, nullptr) != 1) {
            caProblem_ = std::string(caFile) + ": " + openSslReason("cannot be read");
        }
        ERR_clear_error();
        BIO_meth_set_write(method_, LowerBio::write);
        BIO_meth_set_read(method_, LowerBio::read);
        BIO_meth_set_ctrl(method_, LowerBio::control);
    }
    ~ClientContext() {
        SSL_CTX_free(ctx_);
        BIO_meth_free(method_);
    }
    ClientContext(const ClientContext&) = delete;
    ClientContext& operator=(const ClientContext&) = delete;

    SSL_CTX* ctx() const { return ctx_; }
    BIO_METHOD* method() const { return method_; }
    const std::string& caProblem() const { return caProblem_; }

private:
    SSL_CTX* ctx_ = nullptr;
    BIO_METHOD* method_ = nullptr;
    std::string caProblem_;
};

// Made on the first https connection, so a program that never leaves http
// never loads the CA store.
const ClientContext& sharedContext() {
    static const ClientContext context;
    return context;
}

bool isAddress(const std::string& host) {
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

}  // namespace

TlsStream::TlsStream(std::unique_ptr<ByteStream> lower, std::string host)
    : lower_(std::move(lower)), host_(std::move(host)) {
    const ClientContext& context = sharedContext();
    if (!context.caProblem().empty()) {
        throw HttpError(HttpErrorKind::TlsSetupFailed, context.caProblem());
    }
    ssl_ = SSL_new(context.ctx());
    BIO* bio = BIO_new(context.method());
    if (ssl_ == nullptr || bio == nullptr) {
        BIO_free(bio);
        SSL_free(ssl_);
        throw std::bad_alloc();
    }
    BIO_set_data(bio, this);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl_, bio, bio);

    std::string name = host_;
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    // "example.com." is the same host, and no certificate names it with the dot.
    if (name.size() > 1 && name.back() == '.') {
        name.pop_back();
    }
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    if (isAddress(name)) {
        // An address is checked against the certificate's IP entries; SNI
        // carries names only.
        X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str());
    } else {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(ssl_, name.c_str());
        SSL_set_tlsext_host_name(ssl_, name.c_str());
    }
}

TlsStream::~TlsStream() {
    SSL_free(ssl_);
}

void TlsStream::fail(HttpErrorKind kind, const std::string& reason) {
    broken_ = true;
    throw HttpError(kind, host_ + ": " + reason);
}

void TlsStream::rethrowLowerFailure() {
    if (lowerFailure_) {
        broken_ = true;
        std::rethrow_exception(std::exchange(lowerFailure_, nullptr));
    }
}

bool TlsStream::mustWait(int result) {
    const int error = SSL_get_error(ssl_, result);
    rethrowLowerFailure();
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        wantsWrite_ = error == SSL_ERROR_WANT_WRITE;
        return true;
    }
    if (error == SSL_ERROR_ZERO_RETURN) {
        peerEnded_ = true;
        return false;
    }
    if (lowerEnded_) {
        // Most servers close without close_notify. At a record boundary that
        // is an end like any other, and the HTTP framing tells whether the
        // body came whole; bytes of a record cut short cannot be checked.
        if (SSL_has_pending(ssl_) == 0) {
            broken_ = true;
            peerEnded_ = true;
            return false;
        }
        fail(HttpErrorKind::TlsBroken, "the connection closed in the middle of a record");
    }
    fail(HttpErrorKind::TlsBroken, openSslReason("the connection failed"));
}

bool TlsStream::wait(int ms) {
    // Only bytes already decrypted are ready; part of a record is not, and
    // counting it would spin without servicing the window until the rest came.
    if (!wantsWrite_ && SSL_pending(ssl_) > 0) {
        return true;
    }
    return wantsWrite_ ? lower_->waitWritable(ms) : lower_->waitReadable(ms);
}

void TlsStream::handshake(const HttpTiming& timing, const std::function<void()>& idle) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timing.connectLimitMs);
    for (;;) {
        if (!isOpen()) {
            throw HttpError(HttpErrorKind::NotConnected);
        }
        ERR_clear_error();
        const int result = SSL_connect(ssl_);
        if (result == 1) {
            established_ = true;
            return;
        }
        const int error = SSL_get_error(ssl_, result);
        rethrowLowerFailure();
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            const long verified = SSL_get_verify_result(ssl_);
            if (verified == X509_V_ERR_HOSTNAME_MISMATCH ||
                verified == X509_V_ERR_IP_ADDRESS_MISMATCH) {
                fail(HttpErrorKind::TlsNameMismatch, X509_verify_cert_error_string(verified));
            }
            if (verified != X509_V_OK) {
                fail(HttpErrorKind::TlsUntrusted, X509_verify_cert_error_string(verified));
            }
            fail(HttpErrorKind::TlsHandshakeFailed, lowerEnded_
                                                        ? "the server closed the connection"
                                                        : openSslReason("the server broke off"));
        }
        wantsWrite_ = error == SSL_ERROR_WANT_WRITE;
        if (!wait(timing.connectSliceMs)) {
            idle();
            if (!isOpen()) {
                throw HttpError(HttpErrorKind::NotConnected);
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                close();
                throw HttpError(HttpErrorKind::ConnectTimedOut);
            }
        }
    }
}

std::optional<std::size_t> TlsStream::read(char* data, std::size_t len) {
    // Records are at most 16 KiB; the caller's room takes as many as are there.
    std::size_t total = 0;
    while (total < len && !peerEnded_) {
        if (pendingFailure_) {
            if (total > 0) {
                break;
            }
            std::rethrow_exception(pendingFailure_);
        }
        ERR_clear_error();
        std::size_t n = 0;
        const int result = SSL_read_ex(ssl_, data + total, len - total, &n);
        if (result == 1) {
            total += n;
            continue;
        }
        try {
            if (mustWait(result)) {
                break;
            }
        } catch (...) {
            if (total == 0) {
                throw;
            }
            pendingFailure_ = std::current_exception();
        }
    }
    if (total > 0) {
        return total;
    }
    if (peerEnded_) {
        return 0;
    }
    return std::nullopt;
}

std::size_t TlsStream::write(const char* data, std::size_t len) {
    if (pendingFailure_) {
        std::rethrow_exception(pendingFailure_);
    }
    ERR_clear_error();
    std::size_t n = 0;
    const int result = SSL_write_ex(ssl_, data, len, &n);
    if (result == 1) {
        return n;
    }
    if (mustWait(result)) {
        return 0;
    }
    // The server ended the connection; a send on a closed socket says the same.
    throw HttpError(HttpErrorKind::NotConnected);
}

bool TlsStream::waitReadable(int ms) {
    return wait(ms);
}

bool TlsStream::waitWritable(int ms) {
    return wait(ms);
}

bool TlsStream::peerGone() {
    if (!isOpen() || peerEnded_ || broken_) {
        return true;
    }
    // A peek reads what has arrived (a close_notify, a session ticket) without
    // taking any response byte away from the next read.
    ERR_clear_error();
    char probe;
    std::size_t n = 0;
    const int result = SSL_peek_ex(ssl_, &probe, 1, &n);
    if (result == 1) {
        return false;
    }
    try {
        return !mustWait(result);
    } catch (const HttpError&) {
        return true;
    }
}

void TlsStream::close() {
    if (established_ && !broken_ && lower_->isOpen()) {
        // Tells the server that the end is ours and no cut; the reply is not
        // waited for.
        ERR_clear_error();
        SSL_shutdown(ssl_);
        lowerFailure_ = nullptr;
        ERR_clear_error();
    }
    broken_ = true;
    lower_->close();
}

}  // namespace net
