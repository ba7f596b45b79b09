#include "shortcuts/ShortcutScanner.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <climits>
#include <cwchar>

#include "shortcuts/DesktopListing.h"
#include "shortcuts/ShortcutFactCache.h"
#include "win/PathBuffer.h"
#include "win/UniqueHandle.h"

namespace mv::shortcuts {

using Microsoft::WRL::ComPtr;

namespace {

wchar_t FoldAscii(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

bool IsBlank(wchar_t c) noexcept { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// The last occurrence of `needle` in `text`, or null.
const wchar_t* FindLast(const wchar_t* text, const wchar_t* needle) noexcept {
    const wchar_t* last = nullptr;
    for (const wchar_t* hit = wcsstr(text, needle); hit; hit = wcsstr(hit + 1, needle)) last = hit;
    return last;
}

}  // namespace

const wchar_t* LaunchKeyOf(long eSrc) noexcept {
    switch (eSrc) {
        case QuickLunch: return L"\\QuickLunch=";
        case UrlQuickLunch: return L"\\UrlQuickLunch=";
        case WholeNetworkQuickLunch: return L"\\WholeNetworkQuickLunch=";
        default: return nullptr;
    }
}

bool StartsWithIgnoringAsciiCase(const wchar_t* text, const std::wstring& prefix) noexcept {
    // The runtime's _wcsnicmp may fold letters beyond A to Z with the locale:
    // the client path compares by the "C" locale's rule only.
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (text[i] == L'\0') return false;
        if (FoldAscii(text[i]) != FoldAscii(prefix[i])) return false;
    }
    return true;
}

long ParseId(const wchar_t* text) noexcept {
    while (IsBlank(*text)) ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-') negative = (*text++ == L'-');
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > static_cast<long long>(LONG_MAX) + 1) break;  // already beyond either limit
    }
    if (negative) value = -value;
    if (value > LONG_MAX) return LONG_MAX;
    if (value < LONG_MIN) return LONG_MIN;
    return static_cast<long>(value);
}

bool ArgumentsLaunch(const wchar_t* arguments, long playlistid, long eSrc) noexcept {
    const wchar_t* key = LaunchKeyOf(eSrc);
    if (key && !wcsstr(arguments, key)) return false;
    const wchar_t* separator = eSrc == WholeNetworkQuickLunch ? L"#;#" : L",";
    const wchar_t* hit = FindLast(arguments, separator);
    if (!hit) return false;
    return ParseId(hit + wcslen(separator)) == playlistid;
}

namespace {

// Loads one shortcut file into the link object and reads its target, and its
// arguments if the target passes the client test. False when the load failed.
bool LoadFacts(IShellLinkW& link, IPersistFile& file, const std::wstring& path, const std::wstring& clientPath,
               ShortcutFacts& facts) {
    const bool loaded = SUCCEEDED(file.Load(path.c_str(), STGM_READ));

    win::PathBuffer target;
    link.GetPath(target.data(), static_cast<int>(win::PathBuffer::kCapacity), nullptr, SLGP_RAWPATH);
    target.data()[win::PathBuffer::kCapacity - 1] = L'\0';
    facts.target.assign(target.c_str());
    facts.hasArguments = StartsWithIgnoringAsciiCase(target.c_str(), clientPath);
    facts.arguments.clear();
    if (!facts.hasArguments) return loaded;

    win::PathBuffer arguments;
    link.GetArguments(arguments.data(), static_cast<int>(win::PathBuffer::kCapacity));
    arguments.data()[win::PathBuffer::kCapacity - 1] = L'\0';
    facts.arguments.assign(arguments.c_str());
    return loaded;
}

}  // namespace

bool FindPlaylistShortcut(long playlistid, const std::wstring& clientPath, long eSrc) {
    static ShortcutFactCache desktopFacts;
    return FindPlaylistShortcut(playlistid, clientPath, eSrc, desktopFacts);
}

bool FindPlaylistShortcut(long playlistid, const std::wstring& clientPath, long eSrc, ShortcutFactCache& known) {
    // One link object serves the whole scan; nothing is made per file.
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(link.GetAddressOf()))))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file))) return false;

    static DesktopListing desktopListing;
    DesktopListing::Pass listing(desktopListing);
    if (!listing.ok()) return false;
    const std::wstring& desktop = listing.folder();

    const ShortcutFactCache::Scan scan = known.BeginScan(desktop);
    ShortcutFacts facts;
    std::wstring path;
    WIN32_FIND_DATAW entry;
    // The opening entry of a folder is its own "."; it is passed over unread.
    listing.Next(entry);
    while (listing.Next(entry)) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!wcsstr(entry.cFileName, L".lnk")) continue;

        const bool recalled = known.Recall(scan, entry, facts);
        if (recalled && !StartsWithIgnoringAsciiCase(facts.target.c_str(), clientPath)) continue;
        if (!recalled || !facts.hasArguments) {
            path.assign(desktop).append(L"\\").append(entry.cFileName);
            if (LoadFacts(*link.Get(), *file.Get(), path, clientPath, facts)) known.Remember(scan, entry, facts);
            if (!facts.hasArguments) continue;
        }
        if (ArgumentsLaunch(facts.arguments.c_str(), playlistid, eSrc)) return true;
    }
    known.EndCompleteScan(scan);
    return false;
}

}  // namespace mv::shortcuts
