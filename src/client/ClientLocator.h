#pragma once
#include <string>

namespace mv::client {

inline constexpr wchar_t kClientExeName[] = L"\\MVPlayer.exe";
inline constexpr wchar_t kUserClientKey[] = L"Software\\MIVO\\MiVoVA";
inline constexpr wchar_t kMachineClientKey[] = L"Software\\MIVO\\MiVoVA\\InstallPath";

// Full path of the client executable, always ending in "\MVPlayer.exe":
// the user's "Path", else the machine's "Path", else the control directory.
// A registry directory is chosen when it exists, whether or not it holds the
// executable; the file itself may not exist. Never fails.
std::wstring ClientLocator();

}  // namespace mv::client
