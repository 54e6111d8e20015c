// Which site an address belongs to, for following a domain from run to run.
#pragma once

#include <string>
#include <string_view>

namespace history {

// The host of an absolute address, in lower case, without user, port or a
// trailing dot; "" when the text has none.
std::string HostOf(std::string_view url);

// The registrable domain of host by the public suffix list ("shop.example.co.uk"
// -> "example.co.uk"); host itself when it has none (an address, a name
// that is itself a suffix).
std::string SiteOf(const std::string& host);

// Whether host is domain or lies below it: "www.example.com" is in
// "example.com", "badexample.com" is not.
bool InDomain(std::string_view host, std::string_view domain);

// Whether a domain a user asks for is one no site owns alone ("com",
// "co.uk"): following it would mix every site below it.
bool IsPublicSuffix(const std::string& domain);

}  // namespace history
