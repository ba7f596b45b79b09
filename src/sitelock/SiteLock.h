#pragma once
// The sites an installation lets use the control: section [sitelock] of
// mivo.cfg beside the control, one rule a line, "scheme://host-pattern":
//   https://example.com     that host and its subdomains
//   https://*.example.com   its subdomains only
//   https://=example.com    that host only
// No file or no section: unlocked. A section locks the installation to the
// rules that parse (none: every site is refused), and a file that exists but
// cannot be read, or is not text in UTF-8, marked UTF-16 or ANSI, refuses
// every site.
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
    static SiteLock Unreadable(std::wstring why = {}) {
        SiteLock lock;
        lock.state_ = State::Unreadable;
        lock.why_ = std::move(why);
        return lock;
    }

    bool Locked() const noexcept { return state_ != State::Open; }
    bool Readable() const noexcept { return state_ != State::Unreadable; }
    // Unlocked: every address. Locked: a page address or an origin
    // ("https://host[:port]") whose scheme and host match a rule.
    bool Allows(std::wstring_view url) const;
    const std::vector<SiteRule>& rules() const noexcept { return rules_; }
    const std::vector<std::wstring>& ignored() const noexcept { return ignored_; }
    // How the file was read ("UTF-16BE", "ANSI (code page 1252)"); empty
    // when there is none or it could not be opened.
    const std::wstring& encoding() const noexcept { return encoding_; }
    // Why an unreadable file was refused.
    const std::wstring& why() const noexcept { return why_; }

private:
    friend SiteLock ReadSiteLock(const wchar_t* configFile);
    enum class State { Open, Locked, Unreadable };

    State state_ = State::Open;
    std::wstring encoding_, why_;
    std::vector<SiteRule> rules_;
    std::vector<std::wstring> ignored_;
};

// The [sitelock] section of an initialisation file, read as UTF-16 after
// either byte order mark, as UTF-8 (marked or valid), as ANSI otherwise.
SiteLock ReadSiteLock(const wchar_t* configFile);

// The rules of one file for a program that asks at every call: a lock that
// was read is handed out without looking at the file until kRecheckMs have
// passed, then the file's size and last-write time are looked at (some
// 25 us under Wine) and it is read again (about 0.4 ms) only when they
// changed. A file that cannot be read is tried again at every call. Not
// thread-safe; the lock handed out stays valid for its holder.
class SiteLockFile {
public:
    static constexpr unsigned long long kRecheckMs = 250;

    explicit SiteLockFile(std::wstring path) : path_(std::move(path)) {}
    // As of GetTickCount64().
    std::shared_ptr<const SiteLock> Current();
    // `recheck`: the file is looked at whenever the lock was read.
    std::shared_ptr<const SiteLock> Current(unsigned long long nowMs, bool recheck = false);
    const std::wstring& path() const noexcept { return path_; }

private:
    std::wstring path_;
    unsigned long long checkedMs_ = 0;
    bool exists_ = false;
    unsigned long long size_ = 0, written_ = 0;
    // Only a lock that was read is kept.
    std::shared_ptr<const SiteLock> lock_;
};

}  // namespace mv::sitelock
