#pragma once
#include <string>

#include "ProductNames.h"
#include "win/PathBuffer.h"

namespace mv::client {

// The file name under which this build's control is installed beside the
// client: MivoDetector.dll, or MivoDetector64.dll for the 64-bit build.
inline constexpr wchar_t kControlFileName[] = L"" MV_CONTROL_FILE_NAME;

// Directory of the module loaded in this process as kControlFileName,
// without a trailing backslash (a drive root keeps its own). With no such
// module loaded it is the host program's directory; never fails, at worst "".
std::wstring ControlDirectory();

// Directory of the module this code is linked into, whatever its file is
// named: the site lock is looked for there, so that no copy of the control
// under another name reads it beside some other program. False when the
// name does not fit the buffer.
bool OwnModuleDirectory(win::PathBuffer& directory);

}  // namespace mv::client
