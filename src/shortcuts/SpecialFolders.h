#pragma once
#include <windows.h>
#include <string>

namespace mv::shortcuts {

inline constexpr wchar_t kProductFolderName[] = L"\\Mivo影音";

std::wstring GetPersonalFolderPath();
// The shell's success flag; `path` is empty when it fails.
BOOL GetDesktopFolderPath(std::wstring& path);
// Documents + "\Mivo影音", created when missing.
std::wstring GetProductDataFolder();

}  // namespace mv::shortcuts
