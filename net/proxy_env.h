// The proxies of the environment, read the way curl, wget and most Linux
// tools read them: http_proxy for http, https_proxy for https (each before
// its upper-case form), and no_proxy for the hosts that go direct.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace net {

struct ProxyServer {
    std::string host;  // as written; brackets of an IPv6 literal included
    int port = 1080;   // curl's choice when the value names none
    std::string user;  // percent-decoded
    std::string password;

    // "host:port", for the status text and for comparing connections.
    std::string hostPort() const;
    // host without the brackets of an IPv6 literal, for name resolution.
    std::string connectHost() const;
    bool hasCredentials() const { return !user.empty() || !password.empty(); }
    bool operator==(const ProxyServer&) const = default;
};

class ProxySettings {
public:
    // The value of a variable, or null when it is not set.
    using Lookup = std::function<const char*(const char* name)>;

    // No proxy at all.
    ProxySettings() = default;
    // A lower-case variable that is set wins over its upper-case form even
    // when empty, which is how a shell user switches one off. A value that
    // cannot be used is kept as a failure for the requests it would serve,
    // never passed over in silence.
    static ProxySettings Read(const Lookup& lookup);
    static ProxySettings FromEnvironment();

    // The proxy for a request with this scheme ("http" or "https") to host,
    // or nothing when it goes direct. Throws HttpError(ProxyInvalid) when the
    // variable that applies holds a value that cannot be used.
    std::optional<ProxyServer> proxyFor(const std::string& scheme, const std::string& host) const;

private:
    struct Variable {
        std::string name;  // the one that was read, for the failure text
        std::optional<ProxyServer> server;
        std::string problem;  // why the value cannot be used; "" when it can
    };

    bool bypasses(const std::string& host) const;

    Variable http_;
    Variable https_;
    bool bypassAll_ = false;
    std::vector<std::string> bypass_;  // lower-cased suffixes or addresses
};

}  // namespace net
