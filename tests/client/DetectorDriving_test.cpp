// The five driving methods as a page reaches them: through the control object.
#include <gtest/gtest.h>
#include <wrl/client.h>

#include "StandinClient.h"
#include "TestSupport.h"
#include "client/ClientLocator.h"
#include "com/ComObject.h"
#include "control/MVDetector.h"
#include "win/ScopedBstr.h"

namespace mv::test {
namespace {

using Microsoft::WRL::ComPtr;

ComPtr<IMVDetectorCOM> NewDetector() {
    com::CComObject<control::CMVDetector>* object = nullptr;
    EXPECT_EQ(S_OK, com::CComObject<control::CMVDetector>::CreateInstance(&object));
    ComPtr<IMVDetectorCOM> detector;
    if (object) {
        EXPECT_EQ(S_OK, object->QueryInterface(IID_IMVDetectorCOM, reinterpret_cast<void**>(detector.GetAddressOf())));
    }
    return detector;
}

// Calls every driving method once; each must answer S_OK.
void DriveEveryMethod(IMVDetectorCOM* detector) {
    win::ScopedBstr withNul(std::wstring_view(L"p q\0r", 5));
    win::ScopedBstr cjk(L"丼 \"x\"");
    win::ScopedBstr empty(L"");
    EXPECT_EQ(S_OK, detector->StartMiVoVA());
    EXPECT_EQ(S_OK, detector->DownLoad(-2147483647 - 1, 0, 345));
    EXPECT_EQ(S_OK, detector->ShowDetailPage(withNul.Get()));
    EXPECT_EQ(S_OK, detector->OnlinePlay(nullptr));
    EXPECT_EQ(S_OK, detector->OnlinePlay(cjk.Get()));
    EXPECT_EQ(S_OK, detector->RunMivoPlayer(empty.Get()));
    EXPECT_EQ(S_OK, detector->RunMivoPlayer(nullptr));
}

class DetectorDrivingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CloseAllClients()) << "a client was left running before the test";
        user_.SetString(L"Path", dir_.path());
        detector_ = NewDetector();
        ASSERT_TRUE(detector_);
    }
    void TearDown() override {
        detector_.Reset();
        EXPECT_TRUE(CloseAllClients()) << "a client had to be killed";
    }

    std::vector<StandinEvent> Log(const char* kind) const { return EventsOf(ReadStandinLog(log_), kind); }

    ScopedRegistryKey user_{HKEY_CURRENT_USER, client::kUserClientKey};
    ScopedTempDir dir_{L"mv detector"};
    std::wstring exe_ = dir_.Child(L"MVPlayer.exe");
    std::wstring log_ = StandinLogOf(exe_);
    ComPtr<IMVDetectorCOM> detector_;
};

TEST_F(DetectorDrivingTest, RunningClientReceivesTheMethodsCommands) {
    InstallStandin(exe_);
    ASSERT_NE(nullptr, StartStandin(exe_));
    DriveEveryMethod(detector_.Get());

    const std::wstring expected[] = {L"\\download=-2147483648,0,345", L"\\DetailPage=p q", L"\\OnlinePlay=",
                                     L"\\OnlinePlay=丼 \"x\"", L"", L""};
    const auto received = Log("copydata");
    ASSERT_EQ(std::size(expected), received.size());
    for (size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(0u, received[i].dwData);
        EXPECT_EQ(Utf16Bytes(expected[i]), received[i].bytes) << "command " << i;
    }
    EXPECT_EQ(1u, Log("start").size());
}

TEST_F(DetectorDrivingTest, StartMiVoVAStartsTheClientOnce) {
    InstallStandin(exe_);
    EXPECT_EQ(S_OK, detector_->StartMiVoVA());
    ASSERT_NE(nullptr, WaitForClientWindow());
    EXPECT_EQ(S_OK, detector_->StartMiVoVA());

    const auto started = Log("start");
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(L"\"" + exe_ + L"\" /js", started[0].commandLine);
    EXPECT_TRUE(Log("copydata").empty());
}

TEST_F(DetectorDrivingTest, EveryMethodAnswersSOkWhenTheClientIsAbsent) {
    DriveEveryMethod(detector_.Get());
    EXPECT_EQ(nullptr, FindClientWindow());
}

TEST_F(DetectorDrivingTest, HungClientStillLetsTheMethodReturn) {
    InstallStandin(exe_);
    HWND window = StartStandin(exe_);
    ASSERT_NE(nullptr, window);
    HRESULT hr = E_FAIL;
    const ULONGLONG elapsed = TimeAgainstHungStandin(window, log_, [&] { hr = detector_->ShowDetailPage(nullptr); });
    EXPECT_EQ(S_OK, hr);
    EXPECT_LT(elapsed, kHungCallLimitMs);
}

}  // namespace
}  // namespace mv::test
