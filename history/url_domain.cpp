#include "history/url_domain.h"

#include <libpsl.h>

#include <algorithm>

namespace history {
namespace {

// The system's public suffix list, the newest of its file and the copy
// built into libpsl, as the cookie store takes it.
const psl_ctx_t* PublicSuffixes() {
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest != nullptr ? latest : psl_builtin();
    }();
    return list;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string HostOf(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return "";
    }
    std::string_view rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        rest = rest.substr(at + 1);
    }
    if (!rest.starts_with('[')) {
        rest = rest.substr(0, rest.find(':'));
    }
    if (rest.ends_with('.')) {
        rest.remove_suffix(1);
    }
    std::string host(rest);
    std::transform(host.begin(), host.end(), host.begin(), Lower);
    return host;
}

std::string SiteOf(const std::string& host) {
    const char* site = psl_registrable_domain(PublicSuffixes(), host.c_str());
    return site != nullptr ? std::string(site) : host;
}

bool InDomain(std::string_view host, std::string_view domain) {
    if (domain.empty() || !host.ends_with(domain)) {
        return false;
    }
    return host.size() == domain.size() || host[host.size() - domain.size() - 1] == '.';
}

bool IsPublicSuffix(const std::string& domain) {
    return psl_is_public_suffix(PublicSuffixes(), domain.c_str()) != 0;
}

}  // namespace history
