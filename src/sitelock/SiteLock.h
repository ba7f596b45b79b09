#pragma once
// The sites an installation lets use the control: section [sitelock] of
// mivo.cfg beside the control, one rule a line, "scheme://host-pattern":
//   https://example.com     that host and its subdomains
//   https://*.example.com   its subdomains only
//   https://=example.com    that host only
// No file or no section: unlocked. A section locks the installation to the
// rules that parse (none: every site is refused), and a file that exists but
// cannot be read refuses every site.
#include <memory>
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
    // An origin ("https://host") the rule lets in.
    std::wstring ExampleOrigin() const;
};

// A rule that cannot be read is no rule: it never widens the list.
std::optional<SiteRule> ParseSiteRule(std::wstring_view line);

class SiteLock {
public:
    // Unlocked.
    SiteLock() = default;
    // Locked to `rules`; `ignored` are the section's lines that are no rule.
    explicit SiteLock(std::vector<SiteRule> rules, std::vector<std::wstring> ignored = {})
        : state_(State::Locked), rules_(std::move(rules)), ignored_(std::move(ignored)) {}
    // The file is there but could not be read: nothing is let in.
    static SiteLock Unreadable() {
        SiteLock lock;
        lock.state_ = State::Unreadable;
        return lock;
    }

    bool Locked() const noexcept { return state_ != State::Open; }
    bool Readable() const noexcept { return state_ != State::Unreadable; }
    // Unlocked: every address. Locked: a page address or an origin
    // ("https://host[:port]") whose scheme and host match a rule.
    bool Allows(std::wstring_view url) const;
    const std::vector<SiteRule>& rules() const noexcept { return rules_; }
    const std::vector<std::wstring>& ignored() const noexcept { return ignored_; }

private:
    enum class State { Open, Locked, Unreadable };

    State state_ = State::Open;
    std::vector<SiteRule> rules_;
    std::vector<std::wstring> ignored_;
};

// The [sitelock] section of an initialisation file, read as UTF-16 after its
// byte order mark, as UTF-8 when it is valid UTF-8, as ANSI otherwise.
SiteLock ReadSiteLock(const wchar_t* configFile);

// The rules of one file for a program that asks often: read again only when
// the file's size or last-write time changes, and at every call while the
// file cannot be read. Reading takes Wine about 0.4 ms, looking at the
// file's times some 25 us. Not thread-safe; the lock handed out stays valid
// for its holder.
class SiteLockFile {
public:
    explicit SiteLockFile(std::wstring path) : path_(std::move(path)) {}
    std::shared_ptr<const SiteLock> Current();
    const std::wstring& path() const noexcept { return path_; }

private:
    std::wstring path_;
    bool exists_ = false;
    unsigned long long size_ = 0, written_ = 0;
    // Only a lock that was read is kept.
    std::shared_ptr<const SiteLock> lock_;
};

}  // namespace mv::sitelock
