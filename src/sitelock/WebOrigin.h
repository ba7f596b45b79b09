#pragma once
// The scheme and host of a web address, as the platform's URL parser reads it.
#include <optional>
#include <string>
#include <string_view>

namespace mv::sitelock {

struct WebOrigin {
    enum class Scheme { Http, Https };
    enum class HostKind { Name, Ipv4, Ipv6 };

    Scheme scheme;
    HostKind kind;
    // Lower case ASCII: a name in its punycode form without one trailing
    // dot; an address in the parser's canonical form (IPv6 without brackets).
    std::wstring host;
};

// Only http and https addresses with a host have an origin. Userinfo, port,
// path, query and fragment are the parser's to tell apart, never ours.
std::optional<WebOrigin> ParseWebOrigin(std::wstring_view url);

}  // namespace mv::sitelock
