// The control registered machine-wide and driven from the platform's script host.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "RegistrationChecks.h"
#include "TestSupport.h"

namespace mv::test {
namespace {

constexpr char kSuccessMarker[] = "SCRIPT-HOST-OK";

class ScriptHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0u, RunProgram(L"regsvr32.exe /s \"" + ControlDllPath() + L"\""));
    }
    void TearDown() override {
        EXPECT_EQ(0u, RunProgram(L"regsvr32.exe /s /u \"" + ControlDllPath() + L"\""));
    }

    // Runs a script of this folder; the host's exit code says little, so the
    // marker it prints last is what counts.
    void ExpectScriptSucceeds(const wchar_t* script) {
        std::string output;
        const std::wstring path = ExeDir() + L"\\" + script;
        ASSERT_TRUE(FileExists(path)) << "script missing beside the test";
        const DWORD code = RunProgram(L"cscript.exe //nologo \"" + path + L"\"", &output);
        EXPECT_EQ(0u, code) << output;
        EXPECT_NE(std::string::npos, output.find(kSuccessMarker)) << "output: " << output;
        EXPECT_EQ(std::string::npos, output.find("FAILED")) << output;
    }

    RegistrationSandbox sandbox_;
};

TEST_F(ScriptHostTest, JScriptCreatesTheControlAndCallsItByName) { ExpectScriptSucceeds(L"create_by_progid.js"); }

TEST_F(ScriptHostTest, VBScriptCreatesTheControlByEitherProgId) { ExpectScriptSucceeds(L"create_by_progid.vbs"); }

}  // namespace
}  // namespace mv::test
