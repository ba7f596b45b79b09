#include "shortcuts/ShortcutScanner.h"

namespace mv::shortcuts {

bool FindPlaylistShortcut(long, const std::wstring&, long) {
    // Filled in with the shortcut work.
    return false;
}

}  // namespace mv::shortcuts
