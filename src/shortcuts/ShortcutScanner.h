#pragma once
#include <string>

namespace mv::shortcuts {

// Selects the launch key a playlist shortcut carries in its arguments.
enum ShortcutSource : long {
    QuickLunch = 0,
    UrlQuickLunch = 1,
    WholeNetworkQuickLunch = 2,
};

class ShortcutFactCache;

// True when the user's desktop holds a shortcut to `clientPath` that launches
// `playlistid` with the key `eSrc` selects. Files the listing shows unchanged
// since an earlier call of the process are not loaded again.
bool FindPlaylistShortcut(long playlistid, const std::wstring& clientPath, long eSrc);
// The same, keeping what it loads in `known` instead of the process's own.
bool FindPlaylistShortcut(long playlistid, const std::wstring& clientPath, long eSrc, ShortcutFactCache& known);

// The pieces of the match, for the scan and its tests.
// The launch key of a source, or null when none is required.
const wchar_t* LaunchKeyOf(long eSrc) noexcept;
// Compares the first `count` units ignoring case for A to Z only.
bool StartsWithIgnoringAsciiCase(const wchar_t* text, const std::wstring& prefix) noexcept;
// Whether `arguments` launch `playlistid` for source `eSrc`.
bool ArgumentsLaunch(const wchar_t* arguments, long playlistid, long eSrc) noexcept;
// Base-10 conversion with wcstol's rules: blanks, a sign, digits, clamping.
long ParseId(const wchar_t* text) noexcept;

}  // namespace mv::shortcuts
