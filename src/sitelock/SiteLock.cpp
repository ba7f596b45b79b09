#include "sitelock/SiteLock.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "win/MultiByteText.h"
#include "win/UniqueHandle.h"

namespace mv::sitelock {

namespace {

constexpr std::wstring_view kHttps = L"https://";
constexpr std::wstring_view kHttp = L"http://";
// A file bigger than this is not a configuration anybody wrote by hand.
constexpr DWORD kMaxConfigBytes = 1 << 20;

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

enum class ConfigText { Missing, Unreadable, Read };

// What was read, or why nothing could be: --status says it.
struct ConfigRead {
    ConfigText outcome = ConfigText::Missing;
    std::wstring text;
    std::wstring encoding;
    std::wstring why;
};

ConfigRead Refused(std::wstring why) { return {ConfigText::Unreadable, {}, {}, std::move(why)}; }

bool WideFromUtf16(std::string_view bytes, bool bigEndian, std::wstring& text) {
    if (bytes.size() % 2) return false;
    text.resize(bytes.size() / 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]), second = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return true;
}

// Marked UTF-16 of either order or UTF-8, strict UTF-8, then the ANSI code
// page. A NUL stands in no line anybody wrote: it is UTF-16 without its mark
// (which passes as UTF-8 and as ANSI), or not text at all, and reading past
// it could hide the section.
bool DecodeConfig(std::string_view bytes, ConfigRead& read) {
    bool decoded = false;
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        read.encoding = L"UTF-16LE";
        decoded = WideFromUtf16(bytes.substr(2), false, read.text);
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
        read.encoding = L"UTF-16BE";
        decoded = WideFromUtf16(bytes.substr(2), true, read.text);
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        read.encoding = L"UTF-8 with a byte order mark";
        decoded = win::WideFromMultiByte(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.substr(3), read.text);
    } else if (win::WideFromMultiByte(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, read.text)) {
        read.encoding = L"UTF-8";
        decoded = true;
    } else {
        read.encoding = L"ANSI (code page " + std::to_wstring(::GetACP()) + L")";
        decoded = win::WideFromMultiByte(CP_ACP, MB_ERR_INVALID_CHARS, bytes, read.text);
    }
    if (!decoded) {
        read.why = L"not valid " + read.encoding + L" text";
        return false;
    }
    if (read.text.find(L'\0') != std::wstring::npos) {
        read.why = L"read as " + read.encoding + L", it holds a NUL (UTF-16 without a byte order mark?)";
        return false;
    }
    return true;
}

// The whole file as text. Whatever stops a file that is there from being read
// (held open without sharing, no access, too big, no known encoding) makes it
// unreadable, never missing: a lock must not open because its file is busy.
ConfigRead ReadConfigText(const wchar_t* path) {
    win::unique_file file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
        return Refused(L"cannot be opened (error " + std::to_wstring(error) + L")");
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return Refused(L"its size cannot be read");
    if (size.QuadPart > kMaxConfigBytes) return Refused(L"larger than 1 MiB");
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size()))
        return Refused(L"cannot be read whole");
    ConfigRead read;
    read.outcome = DecodeConfig(bytes, read) ? ConfigText::Read : ConfigText::Unreadable;
    return read;
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

std::wstring SiteRule::ExampleOrigin() const {
    std::wstring origin(scheme == WebOrigin::Scheme::Https ? kHttps : kHttp);
    if (reach == Reach::SubdomainsOnly) origin += L"www.";
    return origin + (kind == WebOrigin::HostKind::Ipv6 ? L"[" + host + L"]" : host);
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
    if (rules_.empty()) return false;
    const auto origin = ParseWebOrigin(url);
    return origin && std::any_of(rules_.begin(), rules_.end(), [&](const SiteRule& r) { return r.Matches(*origin); });
}

SiteLock ReadSiteLock(const wchar_t* configFile) {
    ConfigRead read = ReadConfigText(configFile);
    switch (read.outcome) {
        case ConfigText::Missing: return SiteLock();
        case ConfigText::Unreadable: {
            SiteLock lock = SiteLock::Unreadable(std::move(read.why));
            lock.encoding_ = std::move(read.encoding);
            return lock;
        }
        case ConfigText::Read: break;
    }
    const std::wstring& text = read.text;
    bool inSection = false, sectionSeen = false;
    std::vector<SiteRule> rules;
    std::vector<std::wstring> ignored;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find_first_of(L"\r\n", at), text.size());
        const std::wstring_view line = Trimmed(std::wstring_view(text).substr(at, end - at));
        at = end + 1;
        if (!line.empty() && line.front() == L'[') {
            const size_t close = line.find(L']');
            const std::wstring_view name = Trimmed(line.substr(1, close == line.npos ? line.npos : close - 1));
            inSection = name.size() == std::size(kSiteLockSection) - 1 && StartsWithNoCase(name, kSiteLockSection);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection || line.empty() || line.front() == L';') continue;
        if (auto rule = ParseSiteRule(line))
            rules.push_back(std::move(*rule));
        else
            ignored.emplace_back(line);
    }
    SiteLock lock = sectionSeen ? SiteLock(std::move(rules), std::move(ignored)) : SiteLock();
    lock.encoding_ = std::move(read.encoding);
    return lock;
}

std::shared_ptr<const SiteLock> SiteLockFile::Current() { return Current(::GetTickCount64()); }

std::shared_ptr<const SiteLock> SiteLockFile::Current(unsigned long long nowMs, bool recheck) {
    if (lock_ && !recheck && nowMs - checkedMs_ < kRecheckMs) return lock_;
    checkedMs_ = nowMs;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool exists = ::GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data) != FALSE;
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const unsigned long long written =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    if (lock_ && exists == exists_ && size == size_ && written == written_) return lock_;
    auto lock = std::make_shared<const SiteLock>(ReadSiteLock(path_.c_str()));
    lock_ = lock->Readable() ? lock : nullptr;
    exists_ = exists;
    size_ = size;
    written_ = written;
    return lock;
}

}  // namespace mv::sitelock
