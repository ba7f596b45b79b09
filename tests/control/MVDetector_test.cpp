// The control object's entry rules: what each method does with a missing
// result pointer, and what it answers with no client installed.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "com/ComObject.h"
#include "control/MVDetector.h"
#include "win/ScopedBstr.h"

namespace {

using mv::control::CMVDetector;
using mv::test::ScopedRegistryKey;
using mv::test::ScopedTempDir;

constexpr VARIANT_BOOL kBoolSentinel = 0x1234;
constexpr ULONG kUlongSentinel = 0xDEADBEEF;

class DetectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        mv::com::CComObject<CMVDetector>* object = nullptr;
        ASSERT_EQ(S_OK, mv::com::CComObject<CMVDetector>::CreateInstance(&object));
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IMVDetectorCOM, reinterpret_cast<void**>(&detector_)));
    }
    void TearDown() override {
        if (detector_) detector_->Release();
    }

    // The client's registry directory, pointed at a folder of our own.
    void InstallClientAt(const std::wstring& dir) { user_.SetString(L"Path", dir); }

    mv::test::ComApartment apartment_;
    ScopedRegistryKey user_{HKEY_CURRENT_USER, L"Software\\MIVO\\MiVoVA"};
    ScopedRegistryKey machine_{HKEY_LOCAL_MACHINE, L"Software\\MIVO\\MiVoVA\\InstallPath",
                               mv::test::kClientInstallerView};
    ScopedTempDir clientDir_{L"client"};
    IMVDetectorCOM* detector_ = nullptr;
};

TEST_F(DetectorTest, NullResultPointersGiveTheDocumentedStatusBeforeAnyWork) {
    EXPECT_EQ(S_OK, detector_->IsMiVoVAReady(nullptr));
    EXPECT_EQ(S_OK, detector_->IsInstalled(nullptr));
    EXPECT_EQ(S_OK, detector_->IsSupportDownload(nullptr));
    EXPECT_EQ(S_OK, detector_->IsShortcutCreated(7, nullptr));
    EXPECT_EQ(S_OK, detector_->IsShortcutCreatedEx(7, 2, nullptr));
    EXPECT_EQ(S_FALSE, detector_->GetMivoVAVersion(nullptr));
    EXPECT_EQ(S_FALSE, detector_->GetUserId(nullptr));
    EXPECT_EQ(S_FALSE, detector_->GetFirstInstallTime(nullptr));
    EXPECT_EQ(S_FALSE, detector_->GetInstallTime(nullptr));
    // Left open by the interface: a refusal rather than a write through null.
    EXPECT_EQ(E_POINTER, detector_->GetChannelNum(nullptr));
    EXPECT_EQ(E_POINTER, detector_->IsEnableCreateShortcut(1, nullptr));
}

TEST_F(DetectorTest, WithoutAClientEveryMethodSucceedsWithNeutralResults) {
    InstallClientAt(clientDir_.Child(L"absent"));

    VARIANT_BOOL ready = kBoolSentinel, installed = kBoolSentinel, supported = kBoolSentinel;
    EXPECT_EQ(S_OK, detector_->IsMiVoVAReady(&ready));
    EXPECT_EQ(S_OK, detector_->IsInstalled(&installed));
    EXPECT_EQ(S_OK, detector_->IsSupportDownload(&supported));
    EXPECT_EQ(VARIANT_FALSE, ready);
    EXPECT_EQ(VARIANT_FALSE, installed);
    EXPECT_EQ(VARIANT_FALSE, supported);

    ULONG version = kUlongSentinel, channel = kUlongSentinel, user = kUlongSentinel;
    EXPECT_EQ(S_OK, detector_->GetMivoVAVersion(&version));
    EXPECT_EQ(0u, version);
    EXPECT_EQ(S_OK, detector_->GetChannelNum(&channel));
    EXPECT_EQ(1011u, channel);
    EXPECT_EQ(S_OK, detector_->GetUserId(&user));
    EXPECT_EQ(kUlongSentinel, user) << "no RegisterId: the caller's value stays";

    mv::win::ScopedBstr first, last;
    EXPECT_EQ(S_OK, detector_->GetFirstInstallTime(first.Receive()));
    EXPECT_EQ(S_OK, detector_->GetInstallTime(last.Receive()));
    ASSERT_NE(nullptr, first.Get()) << "empty, not null";
    ASSERT_NE(nullptr, last.Get()) << "empty, not null";
    EXPECT_EQ(0u, first.Length());
    EXPECT_EQ(0u, last.Length());

    VARIANT_BOOL created = kBoolSentinel, createdEx = kBoolSentinel;
    EXPECT_EQ(S_OK, detector_->IsShortcutCreated(5, &created));
    EXPECT_EQ(S_OK, detector_->IsShortcutCreatedEx(5, 9, &createdEx));
    EXPECT_EQ(VARIANT_FALSE, created);
    EXPECT_EQ(VARIANT_FALSE, createdEx);

    mv::win::ScopedBstr url(L"http://example.invalid/a b");
    EXPECT_EQ(S_OK, detector_->StartMiVoVA());
    EXPECT_EQ(S_OK, detector_->DownLoad(1, -2, 3));
    EXPECT_EQ(S_OK, detector_->ShowDetailPage(url.Get()));
    EXPECT_EQ(S_OK, detector_->OnlinePlay(nullptr));
    EXPECT_EQ(S_OK, detector_->RunMivoPlayer(nullptr));
}

TEST_F(DetectorTest, InstalledAndReadyAgreeAndCountADirectoryAsTheClient) {
    InstallClientAt(clientDir_.path());
    VARIANT_BOOL ready = kBoolSentinel, installed = kBoolSentinel;
    EXPECT_EQ(S_OK, detector_->IsInstalled(&installed));
    EXPECT_EQ(S_OK, detector_->IsMiVoVAReady(&ready));
    EXPECT_EQ(VARIANT_FALSE, installed) << "directory without the executable";
    EXPECT_EQ(installed, ready);

    ASSERT_TRUE(::CreateDirectoryW(clientDir_.Child(L"MVPlayer.exe").c_str(), nullptr));
    EXPECT_EQ(S_OK, detector_->IsInstalled(&installed));
    EXPECT_EQ(S_OK, detector_->IsMiVoVAReady(&ready));
    EXPECT_EQ(VARIANT_TRUE, installed) << "existence alone is asked";
    EXPECT_EQ(installed, ready);

    ::RemoveDirectoryW(clientDir_.Child(L"MVPlayer.exe").c_str());
    mv::test::WriteFileBytes(clientDir_.Child(L"MVPlayer.exe"), "MZ");
    EXPECT_EQ(S_OK, detector_->IsInstalled(&installed));
    EXPECT_EQ(S_OK, detector_->IsMiVoVAReady(&ready));
    EXPECT_EQ(VARIANT_TRUE, installed);
    EXPECT_EQ(VARIANT_TRUE, ready);
}

TEST_F(DetectorTest, StoreMethodsIgnoreNullArgumentsWithoutTouchingTheResult) {
    BSTR sentinel = reinterpret_cast<BSTR>(static_cast<INT_PTR>(0x5EEDF00D));
    BSTR val = sentinel;
    EXPECT_EQ(S_OK, detector_->GetValue(nullptr, &val));
    EXPECT_EQ(sentinel, val);

    mv::win::ScopedBstr key(L"k");
    EXPECT_EQ(S_OK, detector_->SetValue(nullptr, key.Get()));
    EXPECT_EQ(S_OK, detector_->SetValue(key.Get(), nullptr));
}

TEST_F(DetectorTest, ShortcutChannelsAreTheFixedSet) {
    const long allowed[] = {1, 2, 6, 7, 8, 16};
    const long refused[] = {0, 3, 4, 5, 9, 10, 15, 17, 32, -1, -16, LONG_MIN, LONG_MAX};
    for (long cid : allowed) {
        VARIANT_BOOL answer = kBoolSentinel;
        EXPECT_EQ(S_OK, detector_->IsEnableCreateShortcut(cid, &answer));
        EXPECT_EQ(VARIANT_TRUE, answer) << cid;
    }
    for (long cid : refused) {
        VARIANT_BOOL answer = kBoolSentinel;
        EXPECT_EQ(S_OK, detector_->IsEnableCreateShortcut(cid, &answer));
        EXPECT_EQ(VARIANT_FALSE, answer) << cid;
    }
}

}  // namespace
