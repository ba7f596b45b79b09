#pragma once
// What the tests of registration look at: the keys the control's scripts
// write under a classes root, its type library registration, and the tools
// (regsvr32, cscript) run as child processes in the prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

namespace mv::test {

// The machine's classes root (what HKCR is in the prefix) or the user's.
enum class ClassesRoot { Machine, User };
const wchar_t* RootName(ClassesRoot root);

// Every key and value of both scripts is there, and nothing else below the
// keys the scripts own; InprocServer32 names `modulePath`.
::testing::AssertionResult HoldsRegistration(ClassesRoot root, const std::wstring& modulePath);
// None of the keys the scripts own is there; "CLSID" and "AppID" are.
::testing::AssertionResult HoldsNoRegistration(ClassesRoot root);

// The win32 path registered for the control's type library under `root`.
std::optional<std::wstring> RegisteredTypeLibPath(ClassesRoot root);

bool KeyExists(HKEY root, const std::wstring& path);
// Every key below `path` and its own, with their values, one a line; "" when absent.
std::wstring DescribeTree(HKEY root, const std::wstring& path);
std::set<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);
HKEY RootKey(ClassesRoot root);
std::wstring ClassesPath(const std::wstring& below);

// Runs `commandLine`; the exit code, and what it printed when `output` is given.
DWORD RunProgram(const std::wstring& commandLine, std::string* output = nullptr);
// regsvr32 with `options` on `dll`, the built control unless given.
DWORD Regsvr32(const std::wstring& options, const std::wstring& dll = {});

// Deletes whatever registration of the control is left under both roots, and
// the user's "CLSID" and "AppID" keys when this sandbox made them.
class RegistrationSandbox {
public:
    RegistrationSandbox();
    ~RegistrationSandbox();
    RegistrationSandbox(const RegistrationSandbox&) = delete;
    RegistrationSandbox& operator=(const RegistrationSandbox&) = delete;

private:
    bool userClsidExisted_;
    bool userAppIdExisted_;
};

// The control's DLL loaded into the test process, with its exports.
class LoadedControl {
public:
    LoadedControl();
    ~LoadedControl();
    LoadedControl(const LoadedControl&) = delete;
    LoadedControl& operator=(const LoadedControl&) = delete;

    HMODULE module() const { return module_; }
    HRESULT Register() const { return reg_(); }
    HRESULT Unregister() const { return unreg_(); }
    HRESULT Install(BOOL install, const wchar_t* commandLine) const { return install_(install, commandLine); }

private:
    HMODULE module_;
    HRESULT(__stdcall* reg_)();
    HRESULT(__stdcall* unreg_)();
    HRESULT(__stdcall* install_)(BOOL, LPCWSTR);
};

inline constexpr wchar_t kClassKey[] = L"CLSID\\{B7E836F8-119E-4BB7-B12B-34ACC461DB9F}";
inline constexpr wchar_t kAppIdKey[] = L"AppID\\{EFBD3336-BD5D-4DF5-A027-5AF9C7DA62A2}";
inline constexpr wchar_t kAppIdModuleKey[] = L"AppID\\MVDetectorAX.DLL";
inline constexpr wchar_t kProgId[] = L"MiVoVA.MiVoDector";
inline constexpr wchar_t kVersionedProgId[] = L"MiVoVA.MiVoDector.1";
inline constexpr wchar_t kLibId[] = L"{16F92EAE-AD1B-4847-B6AB-84B1BB58756C}";
inline constexpr wchar_t kInterfaceKey[] = L"Interface\\{32BE6C32-D4D5-4204-991D-1A5C126ABAB0}";
// Below a classes key, where 64-bit Windows keeps the 32-bit view's class and
// interface keys.
inline constexpr wchar_t kWow64View[] = L"Wow6432Node\\";

}  // namespace mv::test
