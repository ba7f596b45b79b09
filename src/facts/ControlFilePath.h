#pragma once
#include <string_view>

#include "win/PathBuffer.h"

namespace mv::facts {

// The installation's configuration file beside the control.
inline constexpr wchar_t kConfigFileName[] = L"\\mivo.cfg";

// The control directory followed by `name` (leading backslash included).
// False when the directory is unknown or the whole path would not fit: a bare
// "\name" would point at the root of the current drive, and a cut path at
// some other file.
bool ControlFilePath(std::wstring_view name, win::PathBuffer& path);

}  // namespace mv::facts
