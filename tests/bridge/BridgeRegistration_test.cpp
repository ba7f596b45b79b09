// --register and --unregister per user and per machine, checked in the
// prefix's registry and files; --status with the host registered, missing,
// registered from another folder, and kept from browsers by their policies.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <memory>
#include <tuple>
#include <vector>

#include "BridgeProcess.h"
#include "EncodedConfigs.h"
#include "TestSupport.h"
#include "bridge/HostManifest.h"
#include "bridge/Utf8Text.h"

namespace mv::test {
namespace {

using nlohmann::json;

bool KeyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::wstring DefaultValue(HKEY root, const wchar_t* path) {
    wchar_t value[1024] = {};
    DWORD bytes = sizeof(value);
    if (::RegGetValueW(root, path, nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) return L"";
    return value;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Keys a registration may create on its way to the host's key.
const wchar_t* const kParentKeys[] = {L"Software\\Google", L"Software\\Google\\Chrome", L"Software\\Chromium",
                                      L"Software\\Microsoft\\Edge", L"Software\\Mozilla"};

TEST(BridgeRegistrationTest, RegisterUnregisterAndStatusPerUserAndPerMachine) {
    ScopedTempDir dir{L"Mivo host"}, other{L"Mivo other host"};
    const std::wstring host = dir.Child(kBridgeFile), otherHost = other.Child(kBridgeFile);
    for (const auto& folder : {dir.path(), other.path()}) {
        ASSERT_TRUE(::CopyFileW(BridgeExePath().c_str(), (folder + L"\\" + kBridgeFile).c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(ControlDllPath().c_str(), (folder + L"\\" + kControlFile).c_str(), FALSE));
    }
    const std::wstring manifests[] = {dir.Child(L"com.mivo.detector.json"), dir.Child(L"com.mivo.detector.firefox.json")};

    for (const auto& [flag, root] : {std::pair{L"", HKEY_CURRENT_USER}, std::pair{L" --machine", HKEY_LOCAL_MACHINE}}) {
        SCOPED_TRACE(*flag ? "per machine" : "per user");
        for (const auto& browser : bridge::BrowserKeys()) ::RegDeleteKeyW(root, browser.keyPath);
        bool parentsBefore[std::size(kParentKeys)];
        for (size_t i = 0; i < std::size(kParentKeys); ++i) parentsBefore[i] = KeyExists(root, kParentKeys[i]);
        std::string status;
        EXPECT_EQ(1u, RunBridgeCommand(host, L"--status", &status)) << status;
        EXPECT_TRUE(Contains(status, "not registered")) << status;

        ASSERT_EQ(0u, RunBridgeCommand(host, std::wstring(L"--register") + flag));
        for (const auto& browser : bridge::BrowserKeys()) {
            const bool firefox = browser.kind == bridge::ManifestKind::Firefox;
            EXPECT_EQ(manifests[firefox], DefaultValue(root, browser.keyPath)) << browser.keyPath;
        }
        for (const bool firefox : {false, true}) {
            const json manifest = json::parse(ReadFileBytes(manifests[firefox]), nullptr, false);
            EXPECT_EQ("com.mivo.detector", manifest.value("name", ""));
            EXPECT_EQ("stdio", manifest.value("type", ""));
            EXPECT_EQ(bridge::Utf8FromWide(host), manifest.value("path", ""));
            if (firefox)
                EXPECT_EQ(json::array({"mivo-detector@mivo.com"}), manifest["allowed_extensions"]);
            else
                EXPECT_EQ(json::array({"chrome-extension://cghpnbigjdjbpeelkgkgbjodnenhfdoc/"}), manifest["allowed_origins"]);
        }
        EXPECT_EQ(0u, RunBridgeCommand(host, L"--status", &status)) << status;
        EXPECT_TRUE(Contains(status, "READY for Chrome, Chromium, Edge, Firefox")) << status;
        // A locked installation that serves its sites is ready; one whose
        // rules are all mistyped serves none. Each names what it ignores.
        // It names the encoding it read, or why it read none.
        const std::string lock = "[sitelock]\r\nhttps://=example.com\r\npay.example.org/*\r\n";
        const std::tuple<std::string, DWORD, const char*, bool> locks[] = {
            {lock, 0, "read as UTF-8; locked to 1 rule", true},
            {"[sitelock]\r\npay.example.org/*\r\n", 1, "no rule is valid", true},
            {"\xFE\xFF" + Utf16Of(lock, true), 0, "read as UTF-16BE; locked to 1 rule", true},
            {Utf16Of(lock, false), 1, "holds a NUL", false},
        };
        for (const auto& [config, code, says, namesIgnored] : locks) {
            if (*flag) break;  // the lock is the folder's, whatever the scope
            WriteFileBytes(dir.Child(L"mivo.cfg"), config);
            EXPECT_EQ(code, RunBridgeCommand(host, L"--status", &status)) << status;
            EXPECT_TRUE(Contains(status, says)) << status;
            EXPECT_EQ(namesIgnored, Contains(status, "not a rule: pay.example.org/*")) << status;
        }
        ::DeleteFileW(dir.Child(L"mivo.cfg").c_str());
        EXPECT_EQ(1u, RunBridgeCommand(otherHost, L"--status", &status)) << status;
        EXPECT_TRUE(Contains(status, "names another program")) << status;

        ASSERT_EQ(0u, RunBridgeCommand(host, std::wstring(L"--unregister") + flag));
        for (const auto& browser : bridge::BrowserKeys()) EXPECT_FALSE(KeyExists(root, browser.keyPath)) << browser.keyPath;
        for (size_t i = 0; i < std::size(kParentKeys); ++i)
            EXPECT_EQ(parentsBefore[i], KeyExists(root, kParentKeys[i])) << "left behind or removed: " << kParentKeys[i];
        for (const auto& manifest : manifests) EXPECT_FALSE(FileExists(manifest));
        EXPECT_EQ(1u, RunBridgeCommand(host, L"--status", &status)) << status;
    }
}

// Policies as the browsers read them: each whole from HKLM where set there,
// else from HKCU. Each step adds one policy to those before it.
TEST(BridgeRegistrationTest, StatusCountsOnlyTheBrowsersThatPoliciesLetStartTheHost) {
    ScopedTempDir dir{L"Mivo host"};
    const std::wstring host = dir.Child(kBridgeFile);
    ASSERT_TRUE(::CopyFileW(BridgeExePath().c_str(), host.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(ControlDllPath().c_str(), dir.Child(kControlFile).c_str(), FALSE));
    ASSERT_EQ(0u, RunBridgeCommand(host, L"--register"));
    std::vector<std::unique_ptr<ScopedRegistryKey>> keys;
    const auto policyKey = [&](HKEY root, const std::wstring& path) {
        keys.push_back(std::make_unique<ScopedRegistryKey>(root, L"Software\\Policies\\" + path, KEY_WOW64_64KEY));
        return keys.back().get();
    };
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (const wchar_t* owner : {L"Google", L"Chromium", L"Microsoft\\Edge"}) policyKey(root, owner);
    const struct {
        HKEY root;
        const wchar_t* key;
        const wchar_t* entry;  // null: NativeMessagingUserLevelHosts = `level`
        DWORD level;
        const char* ready;
    } steps[] = {
        {HKEY_CURRENT_USER, L"Microsoft\\Edge", nullptr, 1, "Chrome, Chromium, Edge, Firefox"},
        {HKEY_LOCAL_MACHINE, L"Microsoft\\Edge", nullptr, 0, "Chrome, Chromium, Firefox"},
        {HKEY_CURRENT_USER, L"Google\\Chrome\\NativeMessagingBlocklist", L"*", 0, "Chromium, Firefox"},
        {HKEY_CURRENT_USER, L"Google\\Chrome\\NativeMessagingAllowlist", L"com.mivo.detector", 0,
         "Chrome, Chromium, Firefox"},
        {HKEY_LOCAL_MACHINE, L"Google\\Chrome\\NativeMessagingAllowlist", L"com.mivo.other", 0, "Chromium, Firefox"},
        {HKEY_LOCAL_MACHINE, L"Chromium\\NativeMessagingBlocklist", L"com.mivo.detector", 0, "Firefox"},
    };
    std::string status;
    for (const auto& step : steps) {
        ScopedRegistryKey* key = policyKey(step.root, step.key);
        // A list's entries are its string values, whatever they are named.
        step.entry ? key->SetString(L"2", step.entry) : key->SetDword(L"NativeMessagingUserLevelHosts", step.level);
        EXPECT_EQ(0u, RunBridgeCommand(host, L"--status", &status)) << status;
        EXPECT_TRUE(Contains(status, (std::string("READY for ") + step.ready).c_str())) << status;
    }
    EXPECT_TRUE(Contains(status, "(HKLM): Edge starts only hosts registered per machine; install per machine")) << status;
    EXPECT_TRUE(Contains(status, "(HKCU) blocks com.mivo.detector; allow it: add \"com.mivo.detector\" to "
                                 "HKLM\\Software\\Policies\\Google\\Chrome\\NativeMessagingAllowlist")) << status;

    for (const auto& browser : bridge::BrowserKeys())
        if (browser.kind == bridge::ManifestKind::Firefox) ::RegDeleteKeyW(HKEY_CURRENT_USER, browser.keyPath);
    EXPECT_EQ(1u, RunBridgeCommand(host, L"--status", &status)) << status;
    EXPECT_TRUE(Contains(status, "NOT READY: no browser will start this host: policies")) << status;
    ASSERT_EQ(0u, RunBridgeCommand(host, L"--register --machine"));
    EXPECT_EQ(0u, RunBridgeCommand(host, L"--status", &status)) << status;
    EXPECT_TRUE(Contains(status, "READY for Edge, Firefox")) << status;
    EXPECT_EQ(0u, RunBridgeCommand(host, L"--unregister --machine"));
    EXPECT_EQ(0u, RunBridgeCommand(host, L"--unregister"));
}

// Both bitnesses' hosts in one folder share its manifests: unregistering the
// one the manifests do not name leaves the other's registration working.
TEST(BridgeRegistrationTest, UnregisteringOneHostLeavesTheOtherRegisteredBesideIt) {
    ScopedTempDir dir{L"Mivo hosts"};
    const std::wstring host = dir.Child(kBridgeFile);
    const std::wstring twin =
        dir.Child(std::wstring(kBridgeFile) == L"MivoBridge.exe" ? L"MivoBridge64.exe" : L"MivoBridge.exe");
    for (const auto& copy : {host, twin}) ASSERT_TRUE(::CopyFileW(BridgeExePath().c_str(), copy.c_str(), FALSE));
    const std::wstring manifest = dir.Child(L"com.mivo.detector.json");
    const wchar_t* const chrome = bridge::BrowserKeys()[0].keyPath;

    ASSERT_EQ(0u, RunBridgeCommand(host, L"--register"));
    ASSERT_EQ(0u, RunBridgeCommand(twin, L"--register"));
    ASSERT_EQ(0u, RunBridgeCommand(host, L"--unregister"));
    EXPECT_EQ(manifest, DefaultValue(HKEY_CURRENT_USER, chrome));
    EXPECT_EQ(bridge::Utf8FromWide(twin), json::parse(ReadFileBytes(manifest), nullptr, false).value("path", ""));

    ASSERT_EQ(0u, RunBridgeCommand(twin, L"--unregister"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, chrome));
    EXPECT_FALSE(FileExists(manifest));
}

}  // namespace
}  // namespace mv::test
