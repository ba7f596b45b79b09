// MivoBridge.exe spoken to over its pipes, in a client installation: every
// method answers as the control answers a page, registered or not; every
// malformed message gets an error answer (or a clean end) and the host
// serves the next one.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "BridgeProcess.h"
#include "ShortcutFiles.h"
#include "StandinClient.h"
#include "TestSupport.h"
#include "bridge/BridgeVersion.h"
#include "bridge/LoadedControl.h"
#include "bridge/Utf8Text.h"
#include "client/ClientLocator.h"
#include "win/ScopedBstr.h"
#include "win/UniqueHandle.h"

namespace mv::test {
namespace {

using nlohmann::json;

std::wstring Wide(const std::string& utf8) {
    std::wstring wide;
    EXPECT_TRUE(bridge::WideFromUtf8(utf8, wide));
    return wide;
}

json Ask(BridgeProcess& host, const std::string& message) {
    if (!host.SendFrame(message)) return "no request sent";
    const auto answer = host.Receive();
    return answer ? json::parse(*answer, nullptr, false) : json("no answer");
}

json Request(int id, const char* method, const json& args) { return {{"id", id}, {"method", method}, {"args", args}}; }

// Every method once; SetValue's text carries a NUL, which a page may send too.
const std::pair<const char*, json> kEveryMethod[] = {
    {"IsMiVoVAReady", json::array()},       {"IsInstalled", json::array()},
    {"IsSupportDownload", json::array()},   {"GetMivoVAVersion", json::array()},
    {"GetFirstInstallTime", json::array()}, {"GetUserId", json::array()},
    {"IsShortcutCreated", {4711}},          {"IsShortcutCreatedEx", {4711, 1}},
    {"SetValue", {"bridge.key", std::string("value \xE4\xB8\xBC \0 end", 17)}},
    {"GetValue", {"bridge.key"}},           {"GetChannelNum", json::array()},
    {"IsEnableCreateShortcut", {16}},       {"GetInstallTime", json::array()},
    {"StartMiVoVA", json::array()},         {"DownLoad", {1, -2, 2147483647}},
    {"ShowDetailPage", {"http://a/\xE4\xB8\xBC"}}, {"OnlinePlay", {"u"}},
    {"RunMivoPlayer", {"r"}},
};

// What a page gets from the control for the same call, through IDispatch.
json AskThroughDispatch(IDispatch* control, const std::string& method, const json& args) {
    std::wstring name = Wide(method);
    LPOLESTR names = name.data();
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id)) << method;
    std::vector<VARIANT> arguments(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = arguments[args.size() - 1 - i];  // last argument first
        if (args[i].is_string()) {
            const std::wstring text = Wide(args[i].get<std::string>());
            v.vt = VT_BSTR;
            v.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        } else {
            v.vt = VT_I4;
            v.lVal = args[i].get<long>();
        }
    }
    DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(S_OK, control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                                    nullptr))
        << method;
    json answer;
    switch (result.vt) {
        case VT_BOOL: answer = result.boolVal != VARIANT_FALSE; break;
        case VT_UI4: answer = result.ulVal; break;
        case VT_BSTR: answer = bridge::Utf8FromWide(std::wstring_view(result.bstrVal, ::SysStringLen(result.bstrVal))); break;
        case VT_EMPTY: answer = nullptr; break;
        default: answer = "unexpected variant type " + std::to_string(result.vt);
    }
    ::VariantClear(&result);
    for (VARIANT& v : arguments) ::VariantClear(&v);
    return answer;
}

using DllEntry = HRESULT(__stdcall*)();

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CloseAllClients()) << "a client was left running before the test";
        ASSERT_TRUE(::CopyFileW(BridgeExePath().c_str(), host_.c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(ControlDllPath().c_str(), control_.c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"\\tests\\fixtures\\version_dlls\\version-2.1.0.1.dll").c_str(),
                                dir_.Child(L"MVVersion.dll").c_str(), FALSE));
        WriteFileBytes(dir_.Child(L"mivo.cfg"), "[channel]\r\nnum=2088\r\n");
        InstallStandin(client_);
        user_.SetString(L"Path", dir_.path());
        user_.SetDword(L"RegisterId", 86427531);
        user_.SetString(L"FirstInstallTime", L"2024-03-01 09:15:42");
        user_.SetString(L"InstallTime", L"2025-11-20 18:02:07");
        desktop_.Add(L"Mivo playlist.lnk", client_, L"\\UrlQuickLunch=Evening news,4711");
    }
    void TearDown() override { EXPECT_TRUE(CloseAllClients()) << "a client had to be killed"; }

    std::vector<json> AskEveryMethod() {
        BridgeProcess host(host_);
        std::vector<json> results;
        int id = 100;
        for (const auto& [method, args] : kEveryMethod) {
            const json answer = Ask(host, Request(++id, method, args).dump());
            EXPECT_EQ(id, answer.value("id", -1)) << answer.dump();
            results.push_back(answer.contains("result") ? answer["result"] : answer);
        }
        EXPECT_EQ(0u, host.Finish());
        return results;
    }

    ComApartment apartment_;
    ScopedTempDir dir_{L"Mivo client"};
    std::wstring host_ = dir_.Child(kBridgeFile);
    std::wstring control_ = dir_.Child(kControlFile);
    std::wstring client_ = dir_.Child(L"MVPlayer.exe");
    ScopedRegistryKey user_{HKEY_CURRENT_USER, client::kUserClientKey};
    DesktopShortcuts desktop_;
};

TEST_F(BridgeTest, EveryMethodAnswersAsTheControlDoesRegisteredOrNot) {
    std::vector<json> dispatch, unregistered, registered;
    {
        bridge::LoadedControl control;  // the same DLL, in this process
        std::string why;
        ASSERT_EQ(S_OK, control.Load(control_, why)) << why;
        HMODULE dll = ::GetModuleHandleW(control_.c_str());
        const auto registerServer = reinterpret_cast<DllEntry>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllRegisterServer")));
        const auto unregisterServer = reinterpret_cast<DllEntry>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllUnregisterServer")));
        unregisterServer();
        unregistered = AskEveryMethod();
        ASSERT_EQ(S_OK, registerServer());
        registered = AskEveryMethod();
        for (const auto& [method, args] : kEveryMethod) dispatch.push_back(AskThroughDispatch(control.get(), method, args));
        EXPECT_EQ(S_OK, unregisterServer());
    }
    for (size_t i = 0; i < std::size(kEveryMethod); ++i) {
        EXPECT_EQ(dispatch[i], registered[i]) << kEveryMethod[i].first;
        EXPECT_EQ(registered[i], unregistered[i]) << kEveryMethod[i].first;
    }
    // The installation was read, not defaults: version, id, channel, shortcut, store.
    EXPECT_EQ(json(0x02010001), registered[3]);
    EXPECT_EQ(json(86427531), registered[5]);
    EXPECT_EQ(json(true), registered[6]);
    EXPECT_EQ(json("value \xE4\xB8\xBC "), registered[9]);
    EXPECT_EQ(json(2088), registered[10]);
    // The client the host started took the command from both host runs and the page.
    int downloads = 0;
    for (const auto& event : ReadStandinLog(StandinLogOf(client_)))
        downloads += event.bytes == Utf16Bytes(L"\\download=1,-2,2147483647");
    EXPECT_EQ(3, downloads);
}

// A browser that runs its host in a job ends everything left in the job when
// it closes it: the client a page started leaves the job where the job lets
// it, and is still started where it does not.
TEST_F(BridgeTest, ClientLeavesTheBrowsersJobWhereTheJobAllowsIt) {
    for (const bool breakaway : {true, false}) {
        SCOPED_TRACE(breakaway ? "breakaway allowed" : "no breakaway");
        win::unique_handle job(::CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | (breakaway ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0);
        ASSERT_TRUE(::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)));
        {
            BridgeProcess host(host_, L"", job.get());
            EXPECT_EQ(json(nullptr), Ask(host, Request(1, "StartMiVoVA", json::array()).dump()).value("result", json()));
            EXPECT_EQ(0u, host.Finish());
        }
        DWORD pid = 0;
        ::GetWindowThreadProcessId(WaitForClientWindow(), &pid);
        // Wine's IsProcessInJob wants the full query right.
        win::unique_handle client(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
        BOOL inJob = TRUE;
        ASSERT_TRUE(client && ::IsProcessInJob(client.get(), job.get(), &inJob)) << "no client was started";
        EXPECT_EQ(!breakaway, inJob != FALSE);
        job.reset();
        EXPECT_EQ(breakaway ? WAIT_TIMEOUT : WAIT_OBJECT_0, ::WaitForSingleObject(client.get(), breakaway ? 0 : 20000))
            << "the client must outlive the job exactly when it could leave it";
        ASSERT_TRUE(CloseAllClients());
    }
}

struct Exchange {
    const char* what;
    std::string message;
    const char* code;  // nullptr: `result` is expected
    json id;
    json result = nullptr;
};

std::string Nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST_F(BridgeTest, EachBadMessageIsAnsweredAndTheNextOneServed) {
    const std::string sentinel = Request(7, "IsEnableCreateShortcut", {16}).dump();
    const Exchange exchanges[] = {
        {"empty message", "", "BAD_REQUEST", nullptr},
        {"truncated UTF-8", "{\"id\":1,\"method\":\"GetValue\",\"args\":[\"\xE4\xB8\"]}", "BAD_REQUEST", nullptr},
        {"invalid JSON", "{\"id\":1,", "BAD_REQUEST", nullptr},
        {"not an object", "[1]", "BAD_REQUEST", nullptr},
        {"100,000 levels deep", Nested(100000), "BAD_REQUEST", nullptr},
        {"deep inside an ignored field", R"({"id":2,"method":"GetChannelNum","args":[],"x":)" + Nested(1000) + "}",
         "BAD_REQUEST", nullptr},
        {"10 MB request", std::string(10 * 1024 * 1024, ' '), "TOO_LARGE", nullptr},
        {"no id", R"({"method":"GetChannelNum","args":[]})", "BAD_REQUEST", nullptr},
        {"id as text", R"({"id":"3","method":"GetChannelNum","args":[]})", "BAD_REQUEST", nullptr},
        {"fractional id", R"({"id":3.5,"method":"GetChannelNum","args":[]})", "BAD_REQUEST", nullptr},
        {"no method", R"({"id":4,"args":[]})", "BAD_REQUEST", 4},
        {"args not a list", R"({"id":5,"method":"GetChannelNum","args":{}})", "BAD_REQUEST", 5},
        {"no args", R"({"id":5,"method":"GetChannelNum"})", "BAD_REQUEST", 5},
        {"unknown method", Request(6, "Format", json::array()).dump(), "UNKNOWN_METHOD", 6},
        {"name in another case", Request(6, "getchannelnum", json::array()).dump(), "UNKNOWN_METHOD", 6},
        {"too many arguments", Request(8, "GetChannelNum", {1}).dump(), "BAD_ARGUMENTS", 8},
        {"too few arguments", Request(8, "DownLoad", {1, 2}).dump(), "BAD_ARGUMENTS", 8},
        {"string for a number", Request(8, "IsEnableCreateShortcut", {"16"}).dump(), "BAD_ARGUMENTS", 8},
        {"2^31", Request(8, "IsEnableCreateShortcut", {2147483648LL}).dump(), "BAD_ARGUMENTS", 8},
        {"-2^31 - 1", Request(8, "IsEnableCreateShortcut", {-2147483649LL}).dump(), "BAD_ARGUMENTS", 8},
        {"1.5", R"({"id":8,"method":"IsEnableCreateShortcut","args":[1.5]})", "BAD_ARGUMENTS", 8},
        {"null", Request(8, "IsEnableCreateShortcut", {nullptr}).dump(), "BAD_ARGUMENTS", 8},
        {"number for a string", Request(8, "GetValue", {5}).dump(), "BAD_ARGUMENTS", 8},
        {"-2^31 with an origin", R"({"id":9,"method":"IsEnableCreateShortcut","args":[-2147483648],"origin":"x"})",
         nullptr, 9, false},
        {"2 MB stored value", Request(10, "GetValue", {"bridge.big"}).dump(), "TOO_LARGE", 10},
        {"no id recorded", Request(11, "GetUserId", json::array()).dump(), nullptr, 11},
    };
    {
        bridge::LoadedControl control;
        std::string why;
        ASSERT_EQ(S_OK, control.Load(control_, why)) << why;
        const std::wstring big(2 * 1024 * 1024, L'v');
        ASSERT_EQ(S_OK, control.get()->SetValue(win::ScopedBstr(L"bridge.big").Get(), win::ScopedBstr(big).Get()));
    }
    user_.DeleteValue(L"RegisterId");

    BridgeProcess host(host_);
    for (const Exchange& exchange : exchanges) {
        const json answer = Ask(host, exchange.message);
        EXPECT_EQ(exchange.id, answer.value("id", json("missing"))) << exchange.what << ": " << answer.dump();
        if (exchange.code)
            EXPECT_EQ(exchange.code, answer["error"].value("code", "")) << exchange.what << ": " << answer.dump();
        else
            EXPECT_EQ(exchange.result, answer.value("result", json("missing"))) << exchange.what << ": " << answer.dump();
        EXPECT_EQ(json(true), Ask(host, sentinel)["result"]) << "after " << exchange.what;
    }
    const json hello = Ask(host, R"({"id":12,"method":"$hello"})")["result"];
    EXPECT_EQ("MivoBridge", hello.value("host", ""));
    EXPECT_EQ(MV_BRIDGE_VERSION_TEXT, hello.value("version", ""));
    ASSERT_EQ(std::size(kEveryMethod), hello["methods"].size());
    EXPECT_EQ("IsMiVoVAReady", hello["methods"][0]);
    EXPECT_EQ(0u, host.Finish());

    bridge::LoadedControl control;
    std::string why;
    ASSERT_EQ(S_OK, control.Load(control_, why)) << why;
    control.get()->SetValue(win::ScopedBstr(L"bridge.big").Get(), win::ScopedBstr(L"").Get());
}

TEST_F(BridgeTest, InputThatStopsMidMessageEndsTheHostCleanly) {
    const std::string cuts[] = {
        std::string("\xFF\xFF\xFF\xFF{\"id\":1}", 12),
        std::string("\x64\x00\x00\x00{\"id\":1}", 12),
        std::string("\x01\x00", 2),
    };
    for (const std::string& cut : cuts) {
        BridgeProcess host(host_);
        ASSERT_TRUE(host.started());
        host.Send(cut);
        EXPECT_EQ(0u, host.Finish());
        EXPECT_EQ("", host.TakeOutput());
    }
}

TEST_F(BridgeTest, WithoutTheControlBesideItTheHostSaysSo) {
    ScopedTempDir alone{L"Mivo host alone"};
    const std::wstring host = alone.Child(kBridgeFile);
    ASSERT_TRUE(::CopyFileW(host_.c_str(), host.c_str(), FALSE));
    BridgeProcess process(host);
    EXPECT_EQ("CONTROL_UNAVAILABLE", Ask(process, Request(1, "GetChannelNum", json::array()).dump())["error"]["code"]);
    EXPECT_EQ("MivoBridge", Ask(process, R"({"id":2,"method":"$hello","args":[]})")["result"]["host"]);
    EXPECT_EQ(0u, process.Finish());
}

}  // namespace
}  // namespace mv::test
