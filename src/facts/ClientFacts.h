#pragma once
#include <windows.h>
#include <string>

namespace mv::facts {

inline constexpr ULONG kDefaultChannel = 1011;

// The raw bytes of "RegisterId", at most 4, over the first bytes of *userId;
// untouched when the key or value is absent or the value is longer.
void ReadRegisterId(ULONG* userId);
// "FirstInstallTime" and "InstallTime", at most 260 characters: empty when
// absent or longer.
std::wstring ReadFirstInstallTime();
std::wstring ReadInstallTime();
// mivo.cfg beside the control, [channel] num, read by the platform's
// initialisation-file reader; 1011 when absent or the path is unknown.
ULONG ReadChannelNum();

}  // namespace mv::facts
