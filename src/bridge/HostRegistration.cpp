#include "bridge/HostRegistration.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "bridge/HostLocation.h"
#include "bridge/HostManifest.h"
#include "bridge/Utf8Text.h"
#include "win/UniqueHandle.h"

namespace mv::bridge {

namespace {

// The browsers are 64-bit on 64-bit Windows and read the native view; this
// 32-bit program would otherwise land in WOW6432Node under HKLM.
constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

HKEY RootOf(RegistrationScope scope) noexcept {
    return scope == RegistrationScope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

void Say(FILE* stream, const std::wstring& text) { std::fputs(Utf8FromWide(text + L"\n").c_str(), stream); }

std::wstring ErrorText(LONG error) {
    wchar_t* text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return L"error " + std::to_wstring(error) + (message.empty() ? L"" : L": " + message);
}

// Written whole or not at all. A manifest already as it should be is left
// alone: a user without write access to the installation folder can still
// register for themselves when the installer put the manifests there.
LONG WriteManifest(const std::wstring& path, const std::string& text) {
    std::string present;
    bool missing = false;
    if (ReadManifestFile(path, present, missing) && present == text) return ERROR_SUCCESS;
    const std::wstring temporary = path + L".new";
    {
        win::unique_file file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return static_cast<LONG>(::GetLastError());
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size()) {
            const LONG error = static_cast<LONG>(::GetLastError());
            file.reset();
            ::DeleteFileW(temporary.c_str());
            return error ? error : ERROR_WRITE_FAULT;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const LONG error = static_cast<LONG>(::GetLastError());
        ::DeleteFileW(temporary.c_str());
        return error;
    }
    return ERROR_SUCCESS;
}

LONG WriteKey(HKEY root, const wchar_t* path, const std::wstring& manifest) {
    win::unique_hkey key;
    LONG status = ::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE | kNativeView, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    return ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(manifest.c_str()),
                            static_cast<DWORD>((manifest.size() + 1) * sizeof(wchar_t)));
}

bool KeyIsEmpty(HKEY root, const std::wstring& path) {
    win::unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | kNativeView, key.put()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 1, values = 1;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys == 0 && values == 0;
}

// Removes our key, then each parent that registering may have created and
// that is empty now (below Software).
LONG DeleteKeyAndEmptyParents(HKEY root, std::wstring path) {
    LONG status = ::RegDeleteKeyExW(root, path.c_str(), kNativeView, 0);
    if (status != ERROR_SUCCESS) return status;
    for (;;) {
        path.resize(path.find_last_of(L'\\'));
        if (std::count(path.begin(), path.end(), L'\\') < 1 || !KeyIsEmpty(root, path)) return ERROR_SUCCESS;
        ::RegDeleteKeyExW(root, path.c_str(), kNativeView, 0);
    }
}

bool AnyKeyNames(const std::wstring& manifest) {
    for (const RegistrationScope scope : {RegistrationScope::User, RegistrationScope::Machine})
        for (const BrowserKey& browser : BrowserKeys())
            if (SamePath(RegisteredManifest(scope, browser), manifest)) return true;
    return false;
}

// The 32- and 64-bit hosts share the folder and so its manifests. While they
// name the other one, still installed, the registration is that host's.
std::wstring OtherHostNamedBeside(const std::wstring& directory, const std::wstring& exe) {
    for (const ManifestKind kind : {ManifestKind::Chromium, ManifestKind::Firefox}) {
        const ManifestCheck check = CheckManifest(ManifestPath(kind, directory), kind, exe);
        if (check.verdict == ManifestVerdict::OtherProgram &&
            ::GetFileAttributesW(check.namedProgram.c_str()) != INVALID_FILE_ATTRIBUTES)
            return check.namedProgram;
    }
    return std::wstring();
}

}  // namespace

const wchar_t* ScopeName(RegistrationScope scope) noexcept {
    return scope == RegistrationScope::Machine ? L"machine" : L"user";
}

std::wstring RegisteredManifest(RegistrationScope scope, const BrowserKey& browser) {
    win::unique_hkey key;
    if (::RegOpenKeyExW(RootOf(scope), browser.keyPath, 0, KEY_QUERY_VALUE | kNativeView, key.put()) != ERROR_SUCCESS)
        return std::wstring();
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes > 65536)
        return std::wstring();
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::wstring();
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

int RegisterHost(RegistrationScope scope) {
    const std::wstring exe = HostExecutablePath();
    const std::wstring directory = HostDirectory();
    if (exe.empty()) {
        Say(stderr, L"The host cannot tell where it is installed.");
        return 1;
    }
    for (const ManifestKind kind : {ManifestKind::Chromium, ManifestKind::Firefox}) {
        const std::wstring path = ManifestPath(kind, directory);
        if (const LONG error = WriteManifest(path, ManifestText(kind, exe)); error != ERROR_SUCCESS) {
            Say(stderr, L"Cannot write " + path + L" (" + ErrorText(error) + L").");
            return 1;
        }
    }
    for (const BrowserKey& browser : BrowserKeys()) {
        const std::wstring manifest = ManifestPath(browser.kind, directory);
        if (const LONG error = WriteKey(RootOf(scope), browser.keyPath, manifest); error != ERROR_SUCCESS) {
            Say(stderr, std::wstring(L"Cannot register for ") + browser.browser + L" (" + ErrorText(error) + L")" +
                            (scope == RegistrationScope::Machine && error == ERROR_ACCESS_DENIED
                                 ? L": registering for every user needs an administrator."
                                 : L"."));
            return 1;
        }
        Say(stdout, std::wstring(L"Registered for ") + browser.browser + L" (" + ScopeName(scope) + L"): " + manifest);
    }
    return 0;
}

int UnregisterHost(RegistrationScope scope) {
    const std::wstring directory = HostDirectory();
    if (const std::wstring other = OtherHostNamedBeside(directory, HostExecutablePath()); !other.empty()) {
        Say(stdout, L"Left the browsers' registration alone: this folder's manifests name " + other);
        return 0;
    }
    int status = 0;
    for (const BrowserKey& browser : BrowserKeys()) {
        const std::wstring ours = ManifestPath(browser.kind, directory);
        const std::wstring named = RegisteredManifest(scope, browser);
        if (named.empty()) continue;
        // Another copy of the host registered itself here: not ours to remove.
        if (!SamePath(named, ours)) {
            Say(stdout, std::wstring(L"Left ") + browser.browser + L" (" + ScopeName(scope) +
                            L") alone: it names another host's manifest, " + named);
            continue;
        }
        if (const LONG error = DeleteKeyAndEmptyParents(RootOf(scope), browser.keyPath); error != ERROR_SUCCESS) {
            Say(stderr, std::wstring(L"Cannot unregister for ") + browser.browser + L" (" + ErrorText(error) + L").");
            status = 1;
            continue;
        }
        Say(stdout, std::wstring(L"Unregistered for ") + browser.browser + L" (" + ScopeName(scope) + L")");
    }
    // A manifest still named by the other scope stays.
    for (const ManifestKind kind : {ManifestKind::Chromium, ManifestKind::Firefox}) {
        const std::wstring path = ManifestPath(kind, directory);
        if (AnyKeyNames(path)) continue;
        if (!::DeleteFileW(path.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
            Say(stderr, L"Cannot remove " + path + L" (" + ErrorText(static_cast<LONG>(::GetLastError())) + L").");
            status = 1;
        }
    }
    return status;
}

}  // namespace mv::bridge
