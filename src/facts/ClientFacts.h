#pragma once
#include <windows.h>
#include <string>

namespace mv::facts {

inline constexpr ULONG kDefaultChannel = 1011;

// "RegisterId" written straight into *userId; untouched when it cannot be read.
void ReadRegisterId(ULONG* userId);
// "FirstInstallTime" and "InstallTime": empty when absent.
std::wstring ReadFirstInstallTime();
std::wstring ReadInstallTime();
// mivo.cfg beside the control, [channel] num; 1011 when absent.
ULONG ReadChannelNum();

}  // namespace mv::facts
