#include "sitelock/SiteLock.h"

#include <windows.h>

#include <algorithm>

namespace mv::sitelock {

namespace {

constexpr std::wstring_view kHttps = L"https://";
constexpr std::wstring_view kHttp = L"http://";
// A section bigger than this is not a list anybody wrote by hand.
constexpr DWORD kMaxSectionUnits = 1 << 20;

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

bool EndsWith(std::wstring_view text, std::wstring_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// What may stand in a rule's host and port: the parser would read any other
// ASCII character (a path, userinfo, a wildcard elsewhere) as something else.
bool IsRuleHostChar(wchar_t c) {
    if (c >= 0x80) return true;  // a name outside ASCII, checked once in punycode
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.' ||
           c == L'-' || c == L':' || c == L'[' || c == L']';
}

// Letters, digits and hyphens in dot-separated labels of 1 to 63.
bool IsHostName(std::wstring_view host) {
    if (host.empty() || host.size() > 253) return false;
    size_t label = 0;
    for (wchar_t c : host) {
        if (c == L'.') {
            if (label == 0) return false;
            label = 0;
        } else if ((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-') {
            if (++label > 63) return false;
        } else {
            return false;
        }
    }
    return label != 0;
}

std::wstring_view Trimmed(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

bool SiteRule::Matches(const WebOrigin& origin) const {
    if (origin.scheme != scheme || origin.kind != kind) return false;
    const bool same = origin.host == host;
    // Only names have subdomains; an address rule is always that address.
    const bool below = kind == WebOrigin::HostKind::Name && EndsWith(origin.host, L"." + host);
    switch (reach) {
        case Reach::HostOnly:
            return same;
        case Reach::SubdomainsOnly:
            return below;
        case Reach::HostAndSubdomains:
            return same || below;
    }
    return false;
}

std::optional<SiteRule> ParseSiteRule(std::wstring_view line) {
    line = Trimmed(line);
    std::wstring_view scheme;
    if (StartsWithNoCase(line, kHttps)) {
        scheme = kHttps;
    } else if (StartsWithNoCase(line, kHttp)) {
        scheme = kHttp;
    } else {
        return std::nullopt;
    }
    std::wstring_view pattern = line.substr(scheme.size());
    if (!pattern.empty() && pattern.back() == L'/') pattern.remove_suffix(1);

    SiteRule rule{};
    rule.reach = SiteRule::Reach::HostAndSubdomains;
    if (pattern.substr(0, 2) == L"*.") {
        rule.reach = SiteRule::Reach::SubdomainsOnly;
        pattern.remove_prefix(2);
    } else if (pattern.substr(0, 1) == L"=") {
        rule.reach = SiteRule::Reach::HostOnly;
        pattern.remove_prefix(1);
    }
    if (pattern.empty() || !std::all_of(pattern.begin(), pattern.end(), IsRuleHostChar)) return std::nullopt;

    // The host goes through the same parser as the pages it is compared with.
    const auto origin = ParseWebOrigin(std::wstring(scheme) + std::wstring(pattern) + L"/");
    if (!origin) return std::nullopt;
    if (origin->kind == WebOrigin::HostKind::Name && !IsHostName(origin->host)) return std::nullopt;
    if (origin->kind != WebOrigin::HostKind::Name && rule.reach == SiteRule::Reach::SubdomainsOnly)
        return std::nullopt;
    rule.scheme = origin->scheme;
    rule.kind = origin->kind;
    rule.host = origin->host;
    return rule;
}

bool SiteLock::Allows(std::wstring_view url) const {
    if (!Locked()) return true;
    const auto origin = ParseWebOrigin(url);
    return origin && std::any_of(rules_.begin(), rules_.end(), [&](const SiteRule& r) { return r.Matches(*origin); });
}

SiteLock ReadSiteLock(const wchar_t* configFile) {
    // The section as "line\0line\0\0"; a buffer too small is answered with
    // its size less two, so grow until the section fits.
    std::wstring section;
    for (DWORD units = 4096;; units *= 2) {
        section.assign(units, L'\0');
        const DWORD got = ::GetPrivateProfileSectionW(kSiteLockSection, section.data(), units, configFile);
        section.resize(got);
        if (got < units - 2) break;
        if (units >= kMaxSectionUnits) {
            // Whole lines only: a rule cut short could name a wider host.
            const size_t lastEnd = section.rfind(L'\0');
            section.resize(lastEnd == std::wstring::npos ? 0 : lastEnd);
            break;
        }
    }
    std::vector<SiteRule> rules;
    for (size_t at = 0; at < section.size();) {
        const size_t end = std::min(section.find(L'\0', at), section.size());
        if (auto rule = ParseSiteRule(std::wstring_view(section).substr(at, end - at))) rules.push_back(*rule);
        at = end + 1;
    }
    return SiteLock(std::move(rules));
}

const SiteLock& SiteLockFile::Current() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool exists = ::GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data) != FALSE;
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const unsigned long long written =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    if (!read_ || exists != exists_ || size != size_ || written != written_) {
        lock_ = ReadSiteLock(path_.c_str());
        read_ = true;
        exists_ = exists;
        size_ = size;
        written_ = written;
    }
    return lock_;
}

}  // namespace mv::sitelock
