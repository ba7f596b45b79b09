#include "facts/ClientFacts.h"

#include <array>
#include <cwchar>

#include "client/ClientLocator.h"
#include "facts/ControlFilePath.h"
#include "win/PathBuffer.h"
#include "win/UniqueHandle.h"

namespace mv::facts {

namespace {

// A client text value, its stored type not examined. A value that does not
// fit in the 520-byte buffer is not read.
std::wstring ReadClientText(const wchar_t* name) {
    std::array<wchar_t, MAX_PATH> buffer{};
    win::unique_hkey key;
    if (::RegOpenKeyW(HKEY_CURRENT_USER, client::kUserClientKey, key.put()) != ERROR_SUCCESS) return std::wstring();
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    // After a failed read the platform leaves the buffer's content undefined.
    if (::RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::wstring();
    // A value of exactly 520 bytes fills every unit and leaves no terminator.
    return std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
}

}  // namespace

void ReadRegisterId(ULONG* userId) {
    win::unique_hkey key;
    if (::RegOpenKeyW(HKEY_CURRENT_USER, client::kUserClientKey, key.put()) != ERROR_SUCCESS) return;
    // Staged in a copy of the caller's value: a shorter value replaces only its
    // first bytes, and a longer one, which the platform may leave half-copied,
    // must leave the caller's value as it was.
    ULONG value = *userId;
    DWORD bytes = sizeof(value);
    if (::RegQueryValueExW(key.get(), L"RegisterId", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &bytes) ==
        ERROR_SUCCESS)
        *userId = value;
}

std::wstring ReadFirstInstallTime() { return ReadClientText(L"FirstInstallTime"); }

std::wstring ReadInstallTime() { return ReadClientText(L"InstallTime"); }

ULONG ReadChannelNum() {
    win::PathBuffer path;
    if (!ControlFilePath(kConfigFileName, path)) return kDefaultChannel;
    return ::GetPrivateProfileIntW(L"channel", L"num", static_cast<INT>(kDefaultChannel), path.c_str());
}

}  // namespace mv::facts
