#pragma once
#include <windows.h>

namespace mv::facts {

inline constexpr wchar_t kVersionFileName[] = L"\\MVVersion.dll";

// The file version of MVVersion.dll beside the control, one byte per part
// (major in the highest byte); 0 when it cannot be read.
ULONG ClientVersionProbe();

}  // namespace mv::facts
