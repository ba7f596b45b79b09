#pragma once
#include <string>

namespace mv::shortcuts {

// Selects the launch key a playlist shortcut carries in its arguments.
enum ShortcutSource : long {
    QuickLunch = 0,
    UrlQuickLunch = 1,
    WholeNetworkQuickLunch = 2,
};

// True when the user's desktop holds a shortcut to `clientPath` that launches
// `playlistid` with the key `eSrc` selects.
bool FindPlaylistShortcut(long playlistid, const std::wstring& clientPath, long eSrc);

}  // namespace mv::shortcuts
