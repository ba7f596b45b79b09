#pragma once
// The control is built for 32- and 64-bit hosts from the same sources, under
// one class id. On 64-bit Windows each bitness registers its class in its own
// registry view: the CLSID and Interface keys are kept apart per view, while
// the ProgIDs, the AppID and TypeLib keys (and, per user, the rest of
// HKCU\Software\Classes) are one key seen from both views. Wine differs:
// it keeps the machine's ProgIDs apart per view and does not redirect the
// user's classes key at all.
#include <windows.h>

#include <string>

namespace mv::server {

// True when the other bitness's view of the same classes root (the user's
// with `perUser`, else the machine's) registers the class with a server
// other than `ownModulePath`. False where there is no other view.
bool OtherViewRegistersClass(bool perUser, const std::wstring& ownModulePath) noexcept;

// The class id's part of a registry script: its "NoRemove CLSID { ... }"
// block alone under HKCR; empty when the script has none.
std::wstring ClassIdOnlyScript(const std::wstring& script);

}  // namespace mv::server
