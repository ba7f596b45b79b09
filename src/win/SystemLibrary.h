#pragma once
// System DLLs that are not KnownDLLs (version.dll, urlmon.dll), loaded from
// the system folder only. Imported, Windows would look for them first in the
// host's folder, or in the control's (COM loads an in-process server with its
// folder in the search path): whoever can write there would run code in the
// browser. Keep one SystemLibrary in a function-local static: it is loaded
// once per process and stays loaded.
#include <windows.h>

#include <cwchar>

#include "win/PathBuffer.h"

namespace mv::win {

// By the system folder's full path: for Windows 7 without KB2533623, whose
// loader refuses the search flags (ERROR_INVALID_PARAMETER).
inline HMODULE LoadFromSystemFolder(const wchar_t* name) noexcept {
    PathBuffer path;
    const UINT length = ::GetSystemDirectoryW(path.data(), PathBuffer::kCapacity);
    if (length == 0 || length >= PathBuffer::kCapacity || !path.Append(L"\\") || !path.Append(name)) return nullptr;
    // The DLL's own imports are then looked for beside it, in the system folder.
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

inline HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
    const HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    return LoadFromSystemFolder(name);
}

class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* name) noexcept : module_(LoadSystemLibrary(name)) {}

    // Fn is the SDK's own declaration (decltype(&::CreateUri)), so the pointer
    // cannot disagree with the export on its calling convention.
    template <typename Fn>
    Fn Function(const char* name) const noexcept {
        return module_ ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module_, name))) : nullptr;
    }

private:
    HMODULE module_;
};

// For a program of our own, before it loads anything: no DLL, ours or one a
// system DLL asks for, is looked for in the program's or the working folder.
inline void SearchSystemFolderOnly() noexcept {
    using SetDefaultDllDirectoriesFn = decltype(&::SetDefaultDllDirectories);
    // Looked up, not imported: Windows 7 without KB2533623 lacks it.
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
}

}  // namespace mv::win
