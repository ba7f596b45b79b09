#pragma once
// Registration of the type library held in a module's own file.
#include <windows.h>

#include <string>

namespace mv::server {

// Registers the first type library of `module`'s file; `perUser` uses the
// per-user function of OLEAUT32.DLL where the system has it.
HRESULT RegisterTypeLibrary(HINSTANCE module, bool perUser) noexcept;
HRESULT UnregisterTypeLibrary(HINSTANCE module, bool perUser) noexcept;
// Removes only this platform's (win32 or win64) path entry of the library,
// and its locale key once no other platform's entry is left in it.
HRESULT UnregisterTypeLibraryPlatform(HINSTANCE module) noexcept;

// The directory part of a help file's path: cut just after its last "\", "/"
// or ":" (empty when it has none).
std::wstring HelpDirectoryOf(const wchar_t* helpFile);

}  // namespace mv::server
