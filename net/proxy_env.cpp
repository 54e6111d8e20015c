#include "net/proxy_env.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <string_view>

#include "net/http_error.h"
#include "util/ascii.h"

namespace net {

namespace {

std::string withoutBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

bool isAddress(const std::string& host) {
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

// Credentials with ":" or "@" in them can only be written percent-encoded.
std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && util::HexValue(text[i + 1]) >= 0 &&
            util::HexValue(text[i + 2]) >= 0) {
            out +=
                static_cast<char>(util::HexValue(text[i + 1]) * 16 + util::HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool hasBlankOrControl(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            return true;
        }
    }
    return false;
}

// "[scheme://][user[:password]@]host[:port][/]"; the problem is "" when the
// value can be used.
std::string parseServer(const std::string& value, ProxyServer& server) {
    std::string rest = value;
    const auto sep = rest.find("://");
    if (sep != std::string::npos) {
        const std::string scheme = util::AsciiLower(rest.substr(0, sep));
        if (scheme != "http") {
            return "the scheme " + scheme + ":// is not supported, only http://";
        }
        rest.erase(0, sep + 3);
    }
    std::string authority = rest.substr(0, rest.find('/'));
    const auto at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        authority.erase(0, at + 1);
        const auto colon = userInfo.find(':');
        server.user = percentDecoded(userInfo.substr(0, colon));
        if (colon != std::string::npos) {
            server.password = percentDecoded(userInfo.substr(colon + 1));
        }
    }
    std::string portText;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos) {
            return "the IPv6 address has no closing bracket";
        }
        server.host = authority.substr(0, close + 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return "text follows the IPv6 address";
        }
        portText = after.empty() ? after : after.substr(1);
    } else {
        const auto colon = authority.rfind(':');
        server.host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            portText = authority.substr(colon + 1);
        }
    }
    if (server.host.empty() || server.host == "[]") {
        return "it names no host";
    }
    if (hasBlankOrControl(server.host)) {
        return "the host holds a blank or control character";
    }
    if (!portText.empty()) {
        long port = 0;
        for (const char c : portText) {
            if (c < '0' || c > '9' || port > 65535) {
                return "the port " + portText + " is not a number from 1 to 65535";
            }
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) {
            return "the port " + portText + " is not a number from 1 to 65535";
        }
        server.port = static_cast<int>(port);
    }
    return {};
}

// The lower-case name first; the variable that is set decides, even when empty.
const char* lookUp(const ProxySettings::Lookup& lookup, const std::string& lowerName,
                   std::string& name) {
    name = lowerName;
    if (const char* value = lookup(lowerName.c_str())) {
        return value;
    }
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return lookup(name.c_str());
}

}  // namespace

std::string ProxyServer::hostPort() const {
    return host + ":" + std::to_string(port);
}

std::string ProxyServer::connectHost() const {
    return withoutBrackets(host);
}

ProxySettings ProxySettings::Read(const Lookup& lookup) {
    ProxySettings settings;
    for (Variable* variable : {&settings.http_, &settings.https_}) {
        const std::string lowerName = variable == &settings.http_ ? "http_proxy" : "https_proxy";
        const char* value = lookUp(lookup, lowerName, variable->name);
        const std::string text = value ? std::string(util::Trim(value)) : std::string();
        if (text.empty()) {
            continue;
        }
        ProxyServer server;
        variable->problem = parseServer(text, server);
        if (variable->problem.empty()) {
            variable->server = server;
        }
    }
    std::string name;
    const char* noProxy = lookUp(lookup, "no_proxy", name);
    const std::string list = noProxy ? noProxy : "";
    for (std::size_t start = 0; start <= list.size();) {
        auto comma = list.find(',', start);
        if (comma == std::string::npos) {
            comma = list.size();
        }
        std::string entry =
            util::AsciiLower(util::Trim(std::string_view(list).substr(start, comma - start)));
        start = comma + 1;
        if (entry == "*") {
            settings.bypassAll_ = true;
            continue;
        }
        // ".example.com" and "*.example.com" say what "example.com" says.
        if (entry.starts_with("*.")) {
            entry.erase(0, 2);
        } else if (entry.starts_with(".")) {
            entry.erase(0, 1);
        }
        entry = withoutBrackets(entry);
        if (entry.ends_with('.')) {
            entry.pop_back();
        }
        if (!entry.empty()) {
            settings.bypass_.push_back(entry);
        }
    }
    return settings;
}

ProxySettings ProxySettings::FromEnvironment() {
    return Read([](const char* name) { return std::getenv(name); });
}

bool ProxySettings::bypasses(const std::string& host) const {
    if (bypassAll_) {
        return true;
    }
    std::string name = util::AsciiLower(withoutBrackets(host));
    if (name.ends_with('.')) {
        name.pop_back();
    }
    // An address only matches itself: "0.1" must not take in 127.0.0.1.
    const bool address = isAddress(name);
    for (const std::string& entry : bypass_) {
        if (name == entry) {
            return true;
        }
        if (!address && name.size() > entry.size() && name.ends_with(entry) &&
            name[name.size() - entry.size() - 1] == '.') {
            return true;
        }
    }
    return false;
}

std::optional<ProxyServer> ProxySettings::proxyFor(const std::string& scheme,
                                                   const std::string& host) const {
    const Variable* variable = scheme == "https" ? &https_ : scheme == "http" ? &http_ : nullptr;
    if (variable == nullptr || (!variable->server && variable->problem.empty()) || bypasses(host)) {
        return std::nullopt;
    }
    if (!variable->problem.empty()) {
        throw HttpError(HttpErrorKind::ProxyInvalid, variable->name + ": " + variable->problem);
    }
    return variable->server;
}

}  // namespace net
