// The browser road of a locked installation: the host serves a request only
// when its origin matches a rule, and loads nothing for one it refuses.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "bridge/RequestDispatcher.h"

namespace mv::test {
namespace {

using nlohmann::json;

TEST(BridgeSiteLockTest, LockedHostServesOnlyRequestsFromAllowedOrigins) {
    ComApartment apartment;
    ScopedTempDir dir(L"bridge lock");
    const std::wstring control = dir.Child(kControlFile);
    ASSERT_TRUE(::CopyFileW(ControlDllPath().c_str(), control.c_str(), FALSE));
    WriteFileBytes(dir.Child(L"mivo.cfg"), "[channel]\r\nnum=7\r\n[sitelock]\r\nhttps://example.com\r\n");
    bridge::RequestDispatcher host(control);
    const auto answer = [&](const std::string& origin) {
        return json::parse(host.Answer(R"({"id":1,"method":"GetChannelNum","args":[])" + origin + "}"));
    };

    for (const char* origin : {"", R"(,"origin":"https://evil.test")", R"(,"origin":"http://example.com")",
                               R"(,"origin":"https://example.com.evil.test")", R"(,"origin":["https://example.com"])",
                               R"(,"origin":"null")"}) {
        EXPECT_EQ("NOT_ALLOWED", answer(origin)["error"]["code"]) << origin;
    }
    EXPECT_EQ("NOT_ALLOWED", json::parse(host.Answer(R"({"id":2,"method":"$hello"})"))["error"]["code"]);
    EXPECT_EQ(nullptr, ::GetModuleHandleW(control.c_str())) << "a refused request loaded the control";

    EXPECT_EQ(7, answer(R"(,"origin":"https://www.example.com:8443")")["result"]) << "the control is shown the page";
    WriteFileBytes(dir.Child(L"mivo.cfg"), "[channel]\r\nnum=7\r\n");
    EXPECT_EQ(7, answer("")["result"]) << "unlocked: the origin is not asked";
}

}  // namespace
}  // namespace mv::test
