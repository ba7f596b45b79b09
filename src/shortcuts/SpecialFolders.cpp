#include "shortcuts/SpecialFolders.h"

#include <windows.h>
#include <io.h>
#include <shlobj.h>

#include "win/PathBuffer.h"

namespace mv::shortcuts {

namespace {

BOOL ShellFolder(int csidl, std::wstring& path) {
    win::PathBuffer buffer;
    const BOOL ok = ::SHGetSpecialFolderPathW(nullptr, buffer.data(), csidl, TRUE);
    buffer.data()[win::PathBuffer::kCapacity - 1] = L'\0';
    path = buffer.str();
    return ok;
}

}  // namespace

std::wstring GetPersonalFolderPath() {
    std::wstring path;
    ShellFolder(CSIDL_PERSONAL, path);
    return path;
}

BOOL GetDesktopFolderPath(std::wstring& path) { return ShellFolder(CSIDL_DESKTOP, path); }

std::wstring GetProductDataFolder() {
    std::wstring path = GetPersonalFolderPath() + kProductFolderName;
    // A file of that name counts as present: nothing is made over it.
    if (::_waccess(path.c_str(), 0) != 0) ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

}  // namespace mv::shortcuts
