#pragma once
// Registration of the server: the application entry, the class entry with its
// ProgIDs, and the type library, per machine or (once switched) per user.
#include <windows.h>

namespace mv::server {

// The module whose file holds the two registry scripts and the type library,
// and the resource ids of the scripts.
struct RegistrationSource {
    HINSTANCE module;
    UINT appIdScript;
    UINT classScript;
};

// This module with its own scripts.
RegistrationSource ServerRegistrationSource() noexcept;

HRESULT RegisterServer(const RegistrationSource& source) noexcept;
HRESULT UnregisterServer(const RegistrationSource& source) noexcept;
// `install` registers, rolling back on failure, or unregisters; the command
// line "user" (any case) first switches to per-user registration for good.
HRESULT InstallServer(const RegistrationSource& source, BOOL install, const wchar_t* commandLine) noexcept;

// True for "user" in any case, and nothing longer or shorter.
bool IsPerUserCommandLine(const wchar_t* commandLine) noexcept;

// The process-wide per-user switch; it is never switched back.
void SetPerUserRegistration(bool on) noexcept;
bool PerUserRegistration() noexcept;

}  // namespace mv::server
