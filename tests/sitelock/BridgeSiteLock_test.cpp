// The browser road of a locked installation: the host serves a request only
// when its origin matches a rule, and loads nothing for one it refuses.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "EncodedConfigs.h"
#include "TestSupport.h"
#include "bridge/RequestDispatcher.h"
#include "win/UniqueHandle.h"

namespace mv::test {
namespace {

using nlohmann::json;

TEST(BridgeSiteLockTest, LockedHostServesOnlyRequestsFromAllowedOrigins) {
    ComApartment apartment;
    ScopedTempDir dir(L"bridge lock");
    const std::wstring control = dir.Child(kControlFile);
    ASSERT_TRUE(::CopyFileW(ControlDllPath().c_str(), control.c_str(), FALSE));
    WriteFileBytes(dir.Child(L"mivo.cfg"), "[channel]\r\nnum=7\r\n[sitelock]\r\nhttps://example.com\r\n");
    // Held open without sharing by another program as the host starts.
    win::unique_file held(
        ::CreateFileW(dir.Child(L"mivo.cfg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    bridge::RequestDispatcher host(control);
    const auto answer = [&](const std::string& origin) {
        return json::parse(host.Answer(R"({"id":1,"method":"GetChannelNum","args":[])" + origin + "}"));
    };
    EXPECT_EQ("NOT_ALLOWED", answer(R"(,"origin":"https://example.com")")["error"]["code"]) << "held";
    held.reset();

    for (const char* origin : {"", R"(,"origin":"https://evil.test")", R"(,"origin":"http://example.com")",
                               R"(,"origin":"https://example.com.evil.test")", R"(,"origin":["https://example.com"])",
                               R"(,"origin":"null")"}) {
        EXPECT_EQ("NOT_ALLOWED", answer(origin)["error"]["code"]) << origin;
    }
    EXPECT_EQ("NOT_ALLOWED", json::parse(host.Answer(R"({"id":2,"method":"$hello"})"))["error"]["code"]);
    EXPECT_EQ(nullptr, ::GetModuleHandleW(control.c_str())) << "a refused request loaded the control";

    EXPECT_EQ(7, answer(R"(,"origin":"https://www.example.com:8443")")["result"]) << "the control is shown the page";
    // An edit applies once the host looks at the file again.
    const auto edit = [&](const char* config) {
        WriteFileBytes(dir.Child(L"mivo.cfg"), config);
        WaitForTickCountToPass(sitelock::SiteLockFile::kRecheckMs);
    };
    edit("[channel]\r\nnum=7\r\n");
    EXPECT_EQ(7, answer("")["result"]) << "unlocked: the origin is not asked";
    edit("[channel]\r\nnum=7\r\n[sitelock]\r\npay.example.org/*\r\n");
    EXPECT_EQ("NOT_ALLOWED", answer(R"(,"origin":"https://pay.example.org")")["error"]["code"]) << "no valid rule";

    // A control made while the installation was open takes no page.
    edit("[channel]\r\nnum=7\r\n");
    bridge::RequestDispatcher opened(control);
    EXPECT_EQ(7, json::parse(opened.Answer(R"({"id":3,"method":"GetChannelNum","args":[]})"))["result"]);
    edit("[channel]\r\nnum=7\r\n[sitelock]\r\nhttps://example.com\r\n");
    const std::string call = R"({"id":4,"method":"GetChannelNum","args":[],"origin":"https://example.com"})";
    EXPECT_EQ(7, json::parse(opened.Answer(call))["result"]) << "locked after the control was made";
}

TEST(BridgeSiteLockTest, NoEncodingOpensTheLockToAnUnlistedOrigin) {
    ComApartment apartment;
    ScopedTempDir dir(L"bridge encodings");
    const std::wstring control = dir.Child(kControlFile);
    ASSERT_TRUE(::CopyFileW(ControlDllPath().c_str(), control.c_str(), FALSE));
    for (const auto& config : EncodedConfigs()) {
        WriteFileBytes(dir.Child(L"mivo.cfg"), config.bytes);
        bridge::RequestDispatcher host(control);
        for (const auto& [origin, listed] : {std::pair{"https://evil.test", false}, std::pair{"https://example.com", true}}) {
            const json answer = json::parse(host.Answer(
                std::string(R"({"id":1,"method":"IsEnableCreateShortcut","args":[1],"origin":")") + origin + "\"}"));
            EXPECT_EQ(listed && config.encoding, answer.contains("result")) << config.name << " " << origin << " " << answer.dump();
        }
    }
}

}  // namespace
}  // namespace mv::test
