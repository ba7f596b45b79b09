// The control of a locked installation hosted as a browser hosts it: a site
// that shows a page address, allowed or not, and what script may then do.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "EncodedConfigs.h"
#include "FactsTestSupport.h"
#include "StandinClient.h"
#include "TestSite.h"
#include "bridge/LoadedControl.h"
#include "com/HResult.h"
#include "shortcuts/SpecialFolders.h"
#include "sitelock/SiteLock.h"
#include "userdata/UserDataStore.h"
#include "win/ScopedBstr.h"
#include "win/UniqueHandle.h"

namespace mv::test {
namespace {

using Microsoft::WRL::ComPtr;

constexpr char kLocked[] = "[channel]\r\nnum=7\r\n[sitelock]\r\nhttps://example.com\r\n";
constexpr wchar_t kKey[] = L"sitelock.probe";

// The eighteen script methods, each called once with ordinary arguments.
using Method = HRESULT (*)(IMVDetectorCOM*);
const Method kMethods[] = {
    [](IMVDetectorCOM* d) { VARIANT_BOOL b; return d->IsMiVoVAReady(&b); },
    [](IMVDetectorCOM* d) { return d->StartMiVoVA(); },
    [](IMVDetectorCOM* d) { VARIANT_BOOL b; return d->IsInstalled(&b); },
    [](IMVDetectorCOM* d) { VARIANT_BOOL b; return d->IsSupportDownload(&b); },
    [](IMVDetectorCOM* d) { return d->DownLoad(1, 2, 3); },
    [](IMVDetectorCOM* d) { win::ScopedBstr u(L"http://example.com/d"); return d->ShowDetailPage(u.Get()); },
    [](IMVDetectorCOM* d) { ULONG v; return d->GetMivoVAVersion(&v); },
    [](IMVDetectorCOM* d) { win::ScopedBstr u(L"http://example.com/o"); return d->OnlinePlay(u.Get()); },
    [](IMVDetectorCOM* d) { win::ScopedBstr u(L"/raw"); return d->RunMivoPlayer(u.Get()); },
    [](IMVDetectorCOM* d) { win::ScopedBstr t; return d->GetFirstInstallTime(t.Receive()); },
    [](IMVDetectorCOM* d) { ULONG v = 0; return d->GetUserId(&v); },
    [](IMVDetectorCOM* d) { VARIANT_BOOL b; return d->IsShortcutCreated(4, &b); },
    [](IMVDetectorCOM* d) { win::ScopedBstr k(kKey), v; return d->GetValue(k.Get(), v.Receive()); },
    [](IMVDetectorCOM* d) { win::ScopedBstr k(kKey), v(L"set"); return d->SetValue(k.Get(), v.Get()); },
    [](IMVDetectorCOM* d) { VARIANT_BOOL b; return d->IsShortcutCreatedEx(4, 1, &b); },
    [](IMVDetectorCOM* d) { ULONG v; return d->GetChannelNum(&v); },
    [](IMVDetectorCOM* d) { VARIANT_BOOL b; return d->IsEnableCreateShortcut(1, &b); },
    [](IMVDetectorCOM* d) { win::ScopedBstr t; return d->GetInstallTime(t.Receive()); },
};

size_t CountAnswering(IMVDetectorCOM* detector, HRESULT hr) {
    size_t count = 0;
    for (Method method : kMethods) count += method(detector) == hr;
    return count;
}

class SiteHostTest : public ControlDirTest {
protected:
    void TearDown() override {
        EXPECT_TRUE(CloseAllClients());
        ControlDirTest::TearDown();
    }

    // Made after the configuration is written (none: as it stands): the
    // lock is read then. From the control's DLL, which reads the lock beside
    // its own file.
    ComPtr<IMVDetectorCOM> Create(const char* config, const std::wstring& dll = {}) {
        if (config) WriteConfig(config);
        bridge::LoadedControl loaded;
        std::string why;
        EXPECT_EQ(S_OK, loaded.Load(dll.empty() ? controlDir_ + L"\\" + kControlFile : dll, why)) << why;
        // The fixture, or the caller, keeps the DLL loaded.
        return loaded.get();
    }
    static void WaitForTheLockToBeReadAgain() { WaitForTickCountToPass(sitelock::SiteLockFile::kRecheckMs); }
    static HRESULT SetSite(IMVDetectorCOM* detector, const TestSiteRoads* roads) {
        ComPtr<IObjectWithSite> withSite;
        RETURN_IF_FAILED(detector->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(withSite.GetAddressOf())));
        ComPtr<IUnknown> site;
        if (roads) site.Attach(CreateTestSite(roads));
        return withSite->SetSite(site.Get());
    }
    static HRESULT Safety(IMVDetectorCOM* detector) {
        ComPtr<IObjectSafety> safety;
        EXPECT_EQ(S_OK, detector->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())));
        return safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1);
    }
};

// A section with no valid rule, or a file held open without sharing, lets
// no page in; the same instance serves once the file lets its page in.
TEST_F(SiteHostTest, ALockThatLetsNoSiteInRefusesUntilTheFileDoes) {
    static const TestSiteRoads kAllowed{FALSE, TRUE, L"https://www.example.com/", nullptr};
    for (const bool held : {true, false}) {
        WriteConfig(held ? kLocked : "[sitelock]\r\nexample.com\r\nftp://example.com\r\n");
        win::unique_file holder;
        if (held)
            holder.reset(::CreateFileW((controlDir_ + L"\\mivo.cfg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       0, nullptr));
        ASSERT_EQ(held, static_cast<bool>(holder));
        auto detector = Create(nullptr);
        ASSERT_EQ(S_OK, SetSite(detector.Get(), &kAllowed)) << held;
        EXPECT_EQ(E_FAIL, Safety(detector.Get())) << held;
        EXPECT_EQ(std::size(kMethods), CountAnswering(detector.Get(), E_ACCESSDENIED)) << held;

        holder.reset();
        if (!held) WriteConfig(kLocked);
        if (!held) WaitForTheLockToBeReadAgain();
        ULONG channel = 0;
        EXPECT_EQ(S_OK, detector->GetChannelNum(&channel)) << held;
        EXPECT_EQ(7u, channel) << held;
    }
}

TEST_F(SiteHostTest, LockedControlServesOnlyAPageItsSiteShowsAllowed) {
    static const TestSiteRoads kRoads[] = {
        {TRUE, FALSE, L"https://www.example.com/page", nullptr},
        {FALSE, TRUE, L"https://example.com/", nullptr},
        {FALSE, FALSE, nullptr, L"https://example.com:444/"},
        {TRUE, FALSE, L"", L"https://example.com/"},
        {FALSE, FALSE, nullptr, L"https://evil.test/"},
        {TRUE, FALSE, L"http://example.com/", nullptr},
        // A frame is judged by its own document, not by the page around it.
        {FALSE, TRUE, L"https://evil.test/frame", L"https://example.com/"},
        {FALSE, FALSE, nullptr, nullptr},
    };
    for (size_t i = 0; i < std::size(kRoads); ++i) {
        const bool allowed = i < 4;
        auto detector = Create(kLocked);
        ASSERT_EQ(S_OK, SetSite(detector.Get(), &kRoads[i])) << i;
        EXPECT_EQ(allowed ? S_OK : E_FAIL, Safety(detector.Get())) << i;
        ULONG channel = 0;
        EXPECT_EQ(allowed ? S_OK : E_ACCESSDENIED, detector->GetChannelNum(&channel)) << i;
        if (!allowed) {
            EXPECT_EQ(std::size(kMethods), CountAnswering(detector.Get(), E_ACCESSDENIED)) << i;
        }
    }
}

TEST_F(SiteHostTest, LockedControlWaitsForASiteAndReadsTheRulesAgainWhileItServes) {
    static const TestSiteRoads kEvil{TRUE, FALSE, L"https://evil.test/", nullptr};
    auto detector = Create(kLocked);
    EXPECT_EQ(S_OK, Safety(detector.Get())) << "browsers ask before they give the site";
    EXPECT_EQ(std::size(kMethods), CountAnswering(detector.Get(), E_ACCESSDENIED)) << "no site yet";

    ASSERT_EQ(S_OK, SetSite(detector.Get(), &kEvil));
    ULONG channel = 0;
    EXPECT_EQ(E_ACCESSDENIED, detector->GetChannelNum(&channel));
    WriteConfig(std::string(kLocked) + "https://evil.test\r\n");
    WaitForTheLockToBeReadAgain();
    EXPECT_EQ(S_OK, detector->GetChannelNum(&channel));
    EXPECT_EQ(7u, channel);
    WriteConfig(kLocked);
    WaitForTheLockToBeReadAgain();
    EXPECT_EQ(E_ACCESSDENIED, detector->GetChannelNum(&channel)) << "a rule taken away applies";
    WriteConfig(std::string(kLocked) + "https://evil.test\r\n");
    WaitForTheLockToBeReadAgain();

    ASSERT_EQ(S_OK, SetSite(detector.Get(), nullptr));
    EXPECT_EQ(E_ACCESSDENIED, detector->GetChannelNum(&channel)) << "the page has gone";
    EXPECT_EQ(E_FAIL, Safety(detector.Get()));
}

TEST_F(SiteHostTest, NoEncodingAndNoFileNameOpensTheLockToAnUnlistedPage) {
    static const TestSiteRoads kEvil{FALSE, TRUE, L"https://evil.test/", nullptr};
    static const TestSiteRoads kAllowed{FALSE, TRUE, L"https://www.example.com/", nullptr};
    for (const auto& config : EncodedConfigs()) {
        WriteConfig(config.bytes);
        for (const TestSiteRoads* roads : {&kEvil, &kAllowed}) {
            auto detector = Create(nullptr);
            ASSERT_EQ(S_OK, SetSite(detector.Get(), roads)) << config.name;
            const bool allowed = roads == &kAllowed && config.encoding;
            EXPECT_EQ(allowed ? size_t{0} : std::size(kMethods), CountAnswering(detector.Get(), E_ACCESSDENIED)) << config.name;
        }
    }
    // A copy under another name, where no control of the usual name is.
    ScopedTempDir other(L"renamed control");
    const std::wstring renamed = other.Child(L"Renamed.dll");
    ASSERT_TRUE(::CopyFileW(ControlDllPath().c_str(), renamed.c_str(), FALSE));
    WriteFileBytes(other.Child(L"mivo.cfg"), kLocked);
    WriteConfig("[channel]\r\nnum=7\r\n");
    win::unique_module keep(::LoadLibraryW(renamed.c_str()));
    for (const TestSiteRoads* roads : {&kEvil, &kAllowed}) {
        auto detector = Create(nullptr, renamed);
        ASSERT_EQ(S_OK, SetSite(detector.Get(), roads));
        ULONG channel = 0;
        EXPECT_EQ(roads == &kAllowed ? S_OK : E_ACCESSDENIED, detector->GetChannelNum(&channel));
    }
}

TEST_F(SiteHostTest, RefusedPageStartsAndWritesNothingWhereAnAllowedOneWorks) {
    static const TestSiteRoads kEvil{FALSE, TRUE, L"https://evil.test/", nullptr};
    static const TestSiteRoads kAllowed{FALSE, TRUE, L"https://www.example.com/", nullptr};
    const std::wstring exe = dir_.Child(L"MVPlayer.exe");
    const std::wstring store = shortcuts::GetPersonalFolderPath() + shortcuts::kProductFolderName +
                               userdata::kConfigFolderName + userdata::kStoreFileName;
    user_.SetString(L"Path", controlDir_);
    InstallStandin(exe);
    const std::string storeBefore = ReadFileBytes(store);
    const bool storeExisted = FileExists(store);

    auto refused = Create(kLocked);
    ASSERT_EQ(S_OK, SetSite(refused.Get(), &kEvil));
    EXPECT_EQ(std::size(kMethods), CountAnswering(refused.Get(), E_ACCESSDENIED));
    EXPECT_FALSE(FileExists(StandinLogOf(exe))) << "the client was started";
    EXPECT_EQ(storeExisted, FileExists(store));
    EXPECT_EQ(storeBefore, ReadFileBytes(store));

    auto allowed = Create(kLocked);
    ASSERT_EQ(S_OK, SetSite(allowed.Get(), &kAllowed));
    EXPECT_EQ(std::size(kMethods), CountAnswering(allowed.Get(), S_OK));
    ASSERT_NE(nullptr, WaitForClientWindow());
    const auto log = ReadStandinLog(StandinLogOf(exe));
    EXPECT_EQ(5u, EventsOf(log, "start").size() + EventsOf(log, "copydata").size()) << "five commands";
    win::ScopedBstr key(kKey), value;
    EXPECT_EQ(S_OK, allowed->GetValue(key.Get(), value.Receive()));
    EXPECT_EQ(L"set", std::wstring(value.Get(), value.Length()));
}

}  // namespace
}  // namespace mv::test
