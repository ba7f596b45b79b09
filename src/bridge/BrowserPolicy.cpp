#include "bridge/BrowserPolicy.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "bridge/Utf8Text.h"
#include "win/UniqueHandle.h"

namespace mv::bridge {

namespace {

// The browsers are 64-bit and read the native view.
constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

struct Hive {
    HKEY root;
    const wchar_t* name;
};
const Hive kHives[] = {{HKEY_LOCAL_MACHINE, L"HKLM"}, {HKEY_CURRENT_USER, L"HKCU"}};

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value) {
    win::unique_hkey key;
    DWORD type = 0, bytes = sizeof(value);
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | kNativeView, key.put()) == ERROR_SUCCESS &&
           ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && bytes == sizeof(value);
}

// A list policy is a key whose string values are its entries, whatever their
// names ("1", "2", ... by convention); false when the key is absent.
bool ReadList(HKEY root, const std::wstring& path, std::vector<std::string>& entries) {
    win::unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | kNativeView, key.put()) != ERROR_SUCCESS)
        return false;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256], data[512];
        DWORD nameLength = static_cast<DWORD>(std::size(name)), type = 0, bytes = sizeof(data) - sizeof(wchar_t);
        const LONG status = ::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &bytes);
        if (status == ERROR_NO_MORE_ITEMS) return true;
        // An entry too long for this buffer is no host name.
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
        data[bytes / sizeof(wchar_t)] = L'\0';
        entries.push_back(Utf8FromWide(std::wstring_view(data, wcsnlen(data, bytes / sizeof(wchar_t)))));
    }
}

// The list from the first hive that sets it: the hives are not merged.
std::vector<std::string> ReadListPolicy(const std::wstring& key, const wchar_t* policy, std::wstring& source) {
    std::vector<std::string> entries;
    for (const Hive& hive : kHives) {
        if (!ReadList(hive.root, key + L"\\" + policy, entries)) continue;
        source = hive.name;
        break;
    }
    return entries;
}

bool Names(const std::vector<std::string>& entries, const char* name) {
    return std::find(entries.begin(), entries.end(), name) != entries.end();
}

}  // namespace

// A Chromium browser names both keys after its one product path.
std::wstring PolicyKeyPath(const BrowserKey& browser) {
    const std::wstring path = browser.keyPath;
    const size_t head = path.find(L'\\') + 1;
    return L"Software\\Policies\\" + path.substr(head, path.find(L"\\NativeMessagingHosts") - head);
}

HostPolicy ReadHostPolicy(const BrowserKey& browser) {
    HostPolicy policy;
    if (browser.kind != ManifestKind::Chromium) return policy;
    const std::wstring key = PolicyKeyPath(browser);
    for (const Hive& hive : kHives) {
        DWORD value = 1;
        if (!ReadDword(hive.root, key, L"NativeMessagingUserLevelHosts", value)) continue;
        policy.userLevelHosts = value != 0;
        policy.userLevelSource = hive.name;
        break;
    }
    const auto blocklist = ReadListPolicy(key, L"NativeMessagingBlocklist", policy.blockSource);
    const auto allowlist = ReadListPolicy(key, L"NativeMessagingAllowlist", policy.allowSource);
    policy.blocked = (Names(blocklist, "*") || Names(blocklist, kHostName)) && !Names(allowlist, kHostName);
    return policy;
}

}  // namespace mv::bridge
