// Where the control looks for the client: the user's "Path", the machine's
// "Path", then the control's own directory.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "client/ClientLocator.h"
#include "client/ControlDirectory.h"

namespace {

using mv::client::ClientLocator;
using mv::client::ControlDirectory;
using mv::test::ScopedRegistryKey;
using mv::test::ScopedTempDir;

std::wstring WithExe(const std::wstring& dir) { return dir + L"\\MVPlayer.exe"; }

class ClientLocatorTest : public ::testing::Test {
protected:
    ScopedRegistryKey user_{HKEY_CURRENT_USER, L"Software\\MIVO\\MiVoVA"};
    ScopedRegistryKey machine_{HKEY_LOCAL_MACHINE, L"Software\\MIVO\\MiVoVA\\InstallPath",
                               mv::test::kClientInstallerView};
    ScopedTempDir userDir_{L"user client"};
    ScopedTempDir machineDir_{L"machine client"};
};

TEST_F(ClientLocatorTest, UserDirectoryWinsWhenItExistsEvenWithoutTheExecutable) {
    user_.SetString(L"Path", userDir_.path());
    machine_.SetString(L"Path", machineDir_.path());
    mv::test::WriteFileBytes(WithExe(machineDir_.path()), "MZ");

    EXPECT_EQ(WithExe(userDir_.path()), ClientLocator());
}

TEST_F(ClientLocatorTest, MissingOrEmptyUserDirectoryFallsToTheMachine) {
    machine_.SetString(L"Path", machineDir_.path());

    user_.SetString(L"Path", userDir_.path() + L"\\gone");
    EXPECT_EQ(WithExe(machineDir_.path()), ClientLocator()) << "user directory does not exist";

    user_.SetRaw(L"Path", REG_SZ, nullptr, 0);
    EXPECT_EQ(WithExe(machineDir_.path()), ClientLocator()) << "zero-byte user value";

    user_.DeleteValue(L"Path");
    EXPECT_EQ(WithExe(machineDir_.path()), ClientLocator()) << "no user value";
}

TEST_F(ClientLocatorTest, NoRegistryDirectoryFallsToTheControlDirectory) {
    // Absent keys, a machine value naming nothing, an unreadable user value:
    // each ends in the control directory, whether or not the client is there.
    EXPECT_EQ(WithExe(ControlDirectory()), ClientLocator()) << "no values";

    user_.SetString(L"Path", L"C:\\no\\such\\client");
    machine_.SetString(L"Path", L"C:\\no\\such\\machine\\client");
    EXPECT_EQ(WithExe(ControlDirectory()), ClientLocator()) << "neither directory exists";

    mv::test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, L"Software\\MIVO\\MiVoVA\\InstallPath",
                                 mv::test::kClientInstallerView);
    EXPECT_EQ(WithExe(ControlDirectory()), ClientLocator()) << "machine key absent";

    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\MIVO\\MiVoVA");
    EXPECT_EQ(WithExe(ControlDirectory()), ClientLocator()) << "both keys absent";
}

TEST_F(ClientLocatorTest, TrailingBackslashIsKept) {
    user_.SetString(L"Path", userDir_.path() + L"\\");
    EXPECT_EQ(userDir_.path() + L"\\\\MVPlayer.exe", ClientLocator());
}

TEST_F(ClientLocatorTest, ValueTypeIsNotExamined) {
    // Raw bytes are UTF-16 text whatever type the value was stored with.
    const std::wstring dir = machineDir_.path();
    user_.SetRaw(L"Path", REG_BINARY, dir.data(), static_cast<DWORD>(dir.size() * sizeof(wchar_t)));
    EXPECT_EQ(WithExe(dir), ClientLocator()) << "binary, no terminator";

    // The bytes of 0x003A0043 read as L"C:", a drive that exists.
    user_.SetDword(L"Path", 0x003A0043);
    EXPECT_EQ(L"C:\\MVPlayer.exe", ClientLocator()) << "number";

    // 0x00000041 reads as L"A", which names nothing: the next source decides.
    machine_.SetString(L"Path", machineDir_.path());
    user_.SetDword(L"Path", 0x00000041);
    EXPECT_EQ(WithExe(machineDir_.path()), ClientLocator()) << "number naming nothing";
}

TEST_F(ClientLocatorTest, ValueTooLargeForThePathBufferCountsAsMissing) {
    machine_.SetString(L"Path", machineDir_.path());
    const std::wstring huge = userDir_.path() + std::wstring(300, L'\\');
    user_.SetString(L"Path", huge);
    EXPECT_EQ(WithExe(machineDir_.path()), ClientLocator());
}

TEST_F(ClientLocatorTest, OverLongDirectoryNeverYieldsACutOrInstalledPath) {
    // A real directory of 250 characters: no room for the executable's name
    // within 259. The answer names the whole path, which the platform refuses.
    std::wstring dir = userDir_.path();
    while (dir.size() < 250) {
        dir += L"\\" + std::wstring(std::min<size_t>(40, 249 - dir.size()), L'd');
        ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    }
    ASSERT_EQ(250u, dir.size());
    user_.SetString(L"Path", dir);

    const std::wstring path = ClientLocator();
    EXPECT_EQ(WithExe(dir), path);
    EXPECT_GT(path.size(), 259u);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(path.c_str()));
}

// The control directory follows the module loaded under the control's own name.
TEST(ControlDirectoryTest, FollowsTheModuleOfThatNameOrElseTheHostProgram) {
    EXPECT_EQ(mv::test::ExeDir(), ControlDirectory()) << "not loaded: the host's directory";

    ScopedTempDir dir(L"control");
    const std::wstring renamed = dir.Child(L"Other.dll");
    ASSERT_TRUE(::CopyFileW(mv::test::ControlDllPath().c_str(), renamed.c_str(), FALSE));
    HMODULE other = ::LoadLibraryW(renamed.c_str());
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(mv::test::ExeDir(), ControlDirectory()) << "loaded under another name";
    ::FreeLibrary(other);

    const std::wstring named = dir.Child(mv::test::kControlFile);
    ASSERT_TRUE(::CopyFileW(mv::test::ControlDllPath().c_str(), named.c_str(), FALSE));
    HMODULE control = ::LoadLibraryW(named.c_str());
    ASSERT_NE(nullptr, control);
    EXPECT_EQ(dir.path(), ControlDirectory());
    {
        ScopedRegistryKey user(HKEY_CURRENT_USER, L"Software\\MIVO\\MiVoVA");
        EXPECT_EQ(dir.Child(L"MVPlayer.exe"), ClientLocator()) << "last fallback";
    }
    ::FreeLibrary(control);
}

}  // namespace
