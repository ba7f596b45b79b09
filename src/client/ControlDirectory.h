#pragma once
#include <string>

namespace mv::client {

// The file name under which the control is installed beside the client.
inline constexpr wchar_t kControlFileName[] = L"MivoDetector.dll";

// Directory of the module loaded in this process as "MivoDetector.dll",
// without a trailing backslash (a drive root keeps its own). With no such
// module loaded it is the host program's directory; never fails, at worst "".
std::wstring ControlDirectory();

}  // namespace mv::client
