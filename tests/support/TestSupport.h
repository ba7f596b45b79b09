#pragma once
// Shared test helpers: the apartment, sandbox registry keys and folders,
// and where the build put things.
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "ProductNames.h"

namespace mv::test {

// The tests also run as a 64-bit build where a machine runs no 32-bit code;
// the type library then describes and registers itself as win64.
constexpr SYSKIND kBuildSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
constexpr const wchar_t* kBuildSysKindKey = sizeof(void*) == 8 ? L"win64" : L"win32";

// This build's file names: MivoDetector.dll and MivoBridge.exe, with "64"
// before the dot in the 64-bit build.
constexpr const wchar_t* kControlFile = L"" MV_CONTROL_FILE_NAME;
constexpr const wchar_t* kBridgeFile = L"" MV_BRIDGE_FILE_NAME;

// Z:\...\build, the build tree as the prefix sees it.
std::wstring BuildDir();
// The built control and host in it.
std::wstring ControlDllPath();
std::wstring BridgeExePath();
// Directory of the running test executable.
std::wstring ExeDir();

// Initialises COM (apartment-threaded) for the scope.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

// The client's installer is a 32-bit program: its machine-wide values lie in
// the 32-bit registry view (the only one on 32-bit Windows).
constexpr REGSAM kClientInstallerView = KEY_WOW64_32KEY;

// Deletes `path` with its subtree, in registry view `view` (0: our own).
void DeleteRegistryTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// A registry key owned by a test: deleted with its subtree before and after.
class ScopedRegistryKey {
public:
    ScopedRegistryKey(HKEY root, std::wstring path, REGSAM view = 0);
    ~ScopedRegistryKey();
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

    void SetString(const wchar_t* name, const std::wstring& value) const;
    void SetDword(const wchar_t* name, DWORD value) const;
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) const;
    void DeleteValue(const wchar_t* name) const;

private:
    HKEY root_;
    std::wstring path_;
    REGSAM view_;
};

// A fresh directory under the prefix's temp folder, removed with its content.
class ScopedTempDir {
public:
    explicit ScopedTempDir(const std::wstring& hint = L"mvtest");
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring Child(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

bool FileExists(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
void RemoveTree(const std::wstring& path);
// Makes every folder of `path`.
void MakeDirs(const std::wstring& path);

// Returns once GetTickCount64 has moved on by more than `ms`: what is kept
// for that long by that clock is then looked at again.
void WaitForTickCountToPass(unsigned long long ms);

// Store files nested 20,000 elements deep behind markup that a nesting count
// could take for closing tags: in text, attribute values, the declaration,
// a DOCTYPE's internal subset, a comment and CDATA.
std::vector<std::string> DeeplyNestedStoreFiles();

}  // namespace mv::test
