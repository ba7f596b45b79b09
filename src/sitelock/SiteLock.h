#pragma once
// The sites an installation lets use the control: section [sitelock] of
// mivo.cfg beside the control, one rule a line, "scheme://host-pattern":
//   https://example.com     that host and its subdomains
//   https://*.example.com   its subdomains only
//   https://=example.com    that host only
// No section, or no rule that parses: unlocked.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sitelock/WebOrigin.h"

namespace mv::sitelock {

inline constexpr wchar_t kSiteLockSection[] = L"sitelock";

struct SiteRule {
    enum class Reach { HostAndSubdomains, SubdomainsOnly, HostOnly };

    WebOrigin::Scheme scheme;
    Reach reach;
    WebOrigin::HostKind kind;
    std::wstring host;  // in the form ParseWebOrigin gives

    bool Matches(const WebOrigin& origin) const;
};

// A rule that cannot be read is no rule: it never widens the list.
std::optional<SiteRule> ParseSiteRule(std::wstring_view line);

class SiteLock {
public:
    SiteLock() = default;
    explicit SiteLock(std::vector<SiteRule> rules) : rules_(std::move(rules)) {}

    bool Locked() const noexcept { return !rules_.empty(); }
    // Unlocked: every address. Locked: a page address or an origin
    // ("https://host[:port]") whose scheme and host match a rule.
    bool Allows(std::wstring_view url) const;
    const std::vector<SiteRule>& rules() const noexcept { return rules_; }

private:
    std::vector<SiteRule> rules_;
};

// The rules of [sitelock] in an initialisation file; unlocked when the file
// or the section is missing.
SiteLock ReadSiteLock(const wchar_t* configFile);

// The rules of one file for a program that asks often: read again only when
// the file's size or last-write time changes. Reading takes Wine about 0.4 ms,
// looking at the file's times some 25 us.
class SiteLockFile {
public:
    explicit SiteLockFile(std::wstring path) : path_(std::move(path)) {}
    const SiteLock& Current();
    const std::wstring& path() const noexcept { return path_; }

private:
    std::wstring path_;
    bool read_ = false;
    bool exists_ = false;
    unsigned long long size_ = 0, written_ = 0;
    SiteLock lock_;
};

}  // namespace mv::sitelock
