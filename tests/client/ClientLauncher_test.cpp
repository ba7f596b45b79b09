#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "StandinClient.h"
#include "TestSupport.h"
#include "client/ClientLauncher.h"
#include "client/ClientLocator.h"
#include "client/CommandVerbs.h"

namespace mv::test {
namespace {

constexpr size_t kMaxCommandLineChars = 32766;  // the platform's 32767 with the terminator

struct VerbCase {
    const char* what;
    std::function<void()> call;
    std::wstring command;  // what the client must receive
};

const wchar_t kWithNul[] = L"ab\0cd";

// Every driving verb, with the arguments that are easy to get wrong.
std::vector<VerbCase> HandOffCases() {
    return {
        {"download", [] { client::DownloadVerb(12, -3, 7); }, L"\\download=12,-3,7"},
        {"download zeros", [] { client::DownloadVerb(0, 0, 0); }, L"\\download=0,0,0"},
        {"download extremes", [] { client::DownloadVerb(LONG_MIN, LONG_MAX, -1); },
         L"\\download=-2147483648,2147483647,-1"},
        {"detail page", [] { client::DetailPageVerb(L"abc"); }, L"\\DetailPage=abc"},
        {"detail page, null", [] { client::DetailPageVerb(nullptr); }, L"\\DetailPage="},
        {"detail page, spaces and quotes", [] { client::DetailPageVerb(L" a \"b c\" "); },
         L"\\DetailPage= a \"b c\" "},
        {"online play, empty", [] { client::OnlinePlayVerb(L""); }, L"\\OnlinePlay="},
        {"online play, CJK and a surrogate pair", [] { client::OnlinePlayVerb(L"http://视频.例/播放?名=丼𠀀"); },
         L"\\OnlinePlay=http://视频.例/播放?名=丼𠀀"},
        {"online play, embedded NUL", [] { client::OnlinePlayVerb(kWithNul); }, L"\\OnlinePlay=ab"},
        {"raw", [] { client::RunPlayerVerb(L"\\download=1,2,3 /x \"y\""); }, L"\\download=1,2,3 /x \"y\""},
        {"raw, embedded NUL", [] { client::RunPlayerVerb(kWithNul); }, L"ab"},
        {"raw, null", [] { client::RunPlayerVerb(nullptr); }, L""},
        {"raw, empty", [] { client::RunPlayerVerb(L""); }, L""},
    };
}

class ClientLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CloseAllClients()) << "a client was left running before the test";
        user_.SetString(L"Path", dir_.path());
    }
    void TearDown() override { EXPECT_TRUE(CloseAllClients()) << "a client had to be killed"; }

    std::vector<StandinEvent> Log(const char* kind) const { return EventsOf(ReadStandinLog(log_), kind); }
    std::wstring CommandLineFor(const std::wstring& command) const { return L"\"" + exe_ + L"\" " + command; }

    ScopedRegistryKey user_{HKEY_CURRENT_USER, client::kUserClientKey};
    ScopedTempDir dir_{L"mv client"};  // a space in the client's folder throughout
    std::wstring exe_ = dir_.Child(L"MVPlayer.exe");
    std::wstring log_ = StandinLogOf(exe_);
};

TEST_F(ClientLauncherTest, RunningClientGetsEachCommandAsExactlyItsUtf16Text) {
    InstallStandin(exe_);
    ASSERT_NE(nullptr, StartStandin(exe_));
    const auto cases = HandOffCases();
    for (const auto& c : cases) c.call();
    client::ClientLauncher(nullptr, false);

    const auto received = Log("copydata");
    ASSERT_EQ(cases.size() + 1, received.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(0u, received[i].dwData);
        EXPECT_EQ(cases[i].command.size() * 2, received[i].cbData);
        EXPECT_EQ(Utf16Bytes(cases[i].command), received[i].bytes);
    }
    EXPECT_EQ(0u, received.back().cbData) << "a null command";
    EXPECT_EQ(1u, Log("start").size()) << "a second client was started";
}

TEST_F(ClientLauncherTest, StartOnlyLeavesARunningClientAlone) {
    InstallStandin(exe_);
    client::StartVerb();
    ASSERT_NE(nullptr, FindClientWindow()) << "the launcher returned before the client was ready";
    client::StartVerb();
    client::ClientLauncher(L"\\download=1,2,3", true);

    const auto started = Log("start");
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(CommandLineFor(L"/js"), started[0].commandLine);
    EXPECT_TRUE(Log("copydata").empty());
}

TEST_F(ClientLauncherTest, AbsentClientStartsNothing) {
    for (const auto& c : HandOffCases()) c.call();
    client::StartVerb();
    EXPECT_EQ(nullptr, FindClientWindow());
    EXPECT_FALSE(FileExists(log_));
}

TEST_F(ClientLauncherTest, ClientThatIsNotRunningIsStartedWithTheCommandAfterItsQuotedPath) {
    InstallStandin(exe_);
    auto cases = HandOffCases();
    cases.push_back({"start", [] { client::StartVerb(); }, L"/js"});
    size_t starts = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.call();
        ASSERT_NE(nullptr, WaitForClientWindow());
        const auto started = Log("start");
        ASSERT_EQ(++starts, started.size());
        EXPECT_EQ(CommandLineFor(c.command), started.back().commandLine);
        ASSERT_TRUE(CloseAllClients());
    }
    EXPECT_TRUE(Log("copydata").empty());
}

TEST_F(ClientLauncherTest, RunningClientIsReachedWhereverTheRegistryPoints) {
    InstallStandin(exe_);
    ASSERT_NE(nullptr, StartStandin(exe_));
    ScopedTempDir elsewhere(L"mv other");
    const std::wstring otherExe = elsewhere.Child(L"MVPlayer.exe");
    InstallStandin(otherExe);
    user_.SetString(L"Path", elsewhere.path());

    client::DownloadVerb(1, 2, 3);
    client::StartVerb();

    ASSERT_EQ(1u, Log("copydata").size());
    EXPECT_FALSE(FileExists(StandinLogOf(otherExe))) << "the client named by the registry was started";
}

// Cleans up what a test plants outside its own sandbox, also when it fails.
struct PlantedFiles {
    std::vector<std::wstring> paths;
    ~PlantedFiles() {
        CloseAllClients();
        for (const auto& path : paths) RemoveTree(path);
    }
};

TEST_F(ClientLauncherTest, ClientUnderAFolderWithASpaceIsStartedRatherThanAProgramNamedByItsFirstWord) {
    const std::wstring folder = L"C:\\Program Files\\Mivo Launcher Test";
    const std::wstring exe = folder + L"\\MVPlayer.exe";
    const std::wstring planted = L"C:\\Program.exe";
    ASSERT_FALSE(FileExists(planted)) << "C:\\Program.exe is there before the test";
    PlantedFiles cleanup{{folder, planted, StandinLogOf(planted)}};
    InstallStandin(exe);
    InstallStandin(planted);
    user_.SetString(L"Path", folder);

    client::DownloadVerb(4, 5, 6);

    ASSERT_NE(nullptr, WaitForClientWindow());
    const auto started = EventsOf(ReadStandinLog(StandinLogOf(exe)), "start");
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(L"\"" + exe + L"\" \\download=4,5,6", started[0].commandLine);
    EXPECT_FALSE(FileExists(StandinLogOf(planted))) << "C:\\Program.exe was started";
}

TEST_F(ClientLauncherTest, HungClientDoesNotHoldTheCallerForEver) {
    InstallStandin(exe_);
    HWND window = StartStandin(exe_);
    ASSERT_NE(nullptr, window);
    const ULONGLONG elapsed = TimeAgainstHungStandin(window, log_, [] { client::DownloadVerb(7, 8, 9); });
    EXPECT_LT(elapsed, kHungCallLimitMs);
    EXPECT_EQ(1u, Log("start").size()) << "a hung client must not make the launcher start another";
}

TEST_F(ClientLauncherTest, CommandTooLongForACommandLineStartsNothing) {
    InstallStandin(exe_);
    const size_t room = kMaxCommandLineChars - CommandLineFor(L"").size();

    client::RunPlayerVerb(std::wstring(room + 1, L'x').c_str());
    client::RunPlayerVerb(std::wstring(100000, L'y').c_str());
    EXPECT_EQ(nullptr, FindClientWindow());
    EXPECT_FALSE(FileExists(log_));

    const std::wstring longest(room, L'z');
    client::RunPlayerVerb(longest.c_str());
    ASSERT_NE(nullptr, WaitForClientWindow()) << "the longest command line that fits was not started";
    const auto started = Log("start");
    ASSERT_EQ(1u, started.size());
    // Compared quietly: a failure would print some 60 KB of text.
    EXPECT_EQ(kMaxCommandLineChars, started[0].commandLine.size());
    EXPECT_TRUE(CommandLineFor(longest) == started[0].commandLine);

    // A running client takes a command of any length.
    const std::wstring huge(100000, L'w');
    client::RunPlayerVerb(huge.c_str());
    const auto received = Log("copydata");
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ(huge.size() * 2, received[0].cbData);
    EXPECT_TRUE(Utf16Bytes(huge) == received[0].bytes);
}

}  // namespace
}  // namespace mv::test
