// Registration through the platform's tool and through the exports called
// in this process.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>

#include "RegistrationChecks.h"
#include "TestSupport.h"
#include "server/Registration.h"
#include "server/RegistrationTypeLib.h"

namespace mv::test {
namespace {

using server::RegistrationSource;

class RegistrationToolTest : public ::testing::Test {
protected:
    RegistrationSandbox sandbox_;
};

TEST_F(RegistrationToolTest, MachineRegistrationWritesTheScriptedKeysAndUnregistrationRemovesThem) {
    ASSERT_EQ(0u, Regsvr32(L"/s"));
    EXPECT_TRUE(HoldsRegistration(ClassesRoot::Machine, ControlDllPath()));
    EXPECT_EQ(ControlDllPath(), RegisteredTypeLibPath(ClassesRoot::Machine).value_or(L"<none>"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ClassesPath(kClassKey)));

    ASSERT_EQ(0u, Regsvr32(L"/s /u"));
    EXPECT_TRUE(HoldsNoRegistration(ClassesRoot::Machine));
    EXPECT_FALSE(RegisteredTypeLibPath(ClassesRoot::Machine));
}

TEST_F(RegistrationToolTest, PerUserRegistrationWritesBelowTheUsersClassesKey) {
    ASSERT_EQ(0u, Regsvr32(L"/s /n /i:user"));
    EXPECT_TRUE(HoldsRegistration(ClassesRoot::User, ControlDllPath()));
    for (const wchar_t* below : {kClassKey, kProgId, kVersionedProgId, kAppIdKey, kAppIdModuleKey})
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassesPath(below))) << "machine-wide: " << below;
    // Wine's per-user type library function registers machine-wide.
    const auto typeLib = RegisteredTypeLibPath(ClassesRoot::User);
    EXPECT_EQ(ControlDllPath(), typeLib ? *typeLib : RegisteredTypeLibPath(ClassesRoot::Machine).value_or(L"<none>"));

    ASSERT_EQ(0u, Regsvr32(L"/s /u /n /i:user"));
    EXPECT_TRUE(HoldsNoRegistration(ClassesRoot::User));
    EXPECT_FALSE(RegisteredTypeLibPath(ClassesRoot::User));
    EXPECT_FALSE(RegisteredTypeLibPath(ClassesRoot::Machine));
}

TEST_F(RegistrationToolTest, UnregistrationKeepsAKeyThatGainedAForeignSubkey) {
    ASSERT_EQ(0u, Regsvr32(L"/s"));
    ScopedRegistryKey foreignProgId(HKEY_LOCAL_MACHINE, ClassesPath(std::wstring(kProgId) + L"\\Foreign"));
    ScopedRegistryKey foreignAppId(HKEY_LOCAL_MACHINE, ClassesPath(std::wstring(kAppIdModuleKey) + L"\\Foreign"));
    ScopedRegistryKey foreignClass(HKEY_LOCAL_MACHINE, ClassesPath(std::wstring(kClassKey) + L"\\Foreign"));

    ASSERT_EQ(0u, Regsvr32(L"/s /u"));
    const std::set<std::wstring> foreignOnly{L"Foreign"};
    EXPECT_EQ(foreignOnly, SubkeyNames(HKEY_LOCAL_MACHINE, ClassesPath(kProgId)));
    EXPECT_EQ(foreignOnly, SubkeyNames(HKEY_LOCAL_MACHINE, ClassesPath(kAppIdModuleKey)));
    EXPECT_EQ(foreignOnly, SubkeyNames(HKEY_LOCAL_MACHINE, ClassesPath(kClassKey)));
    for (const wchar_t* below : {kVersionedProgId, kAppIdKey})
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassesPath(below))) << below;
}

TEST_F(RegistrationToolTest, RegisteringAgainRewritesTheClassKeyWhole) {
    ASSERT_EQ(0u, Regsvr32(L"/s"));
    ScopedRegistryKey stale(HKEY_LOCAL_MACHINE, ClassesPath(std::wstring(kClassKey) + L"\\Stale\\Deeper"));
    ScopedRegistryKey server(HKEY_LOCAL_MACHINE, ClassesPath(std::wstring(kClassKey) + L"\\InprocServer32"));
    server.SetString(L"Stale", L"left over");

    ASSERT_EQ(0u, Regsvr32(L"/s"));
    EXPECT_TRUE(HoldsRegistration(ClassesRoot::Machine, ControlDllPath()));
    ASSERT_EQ(0u, Regsvr32(L"/s /u"));
}

TEST_F(RegistrationToolTest, AModulePathWithAnApostropheIsRegisteredAsItIs) {
    ScopedTempDir dir(L"it's");
    const std::wstring copy = dir.Child(kControlFile);
    ASSERT_TRUE(::CopyFileW(ControlDllPath().c_str(), copy.c_str(), FALSE));

    ASSERT_EQ(0u, Regsvr32(L"/s", copy));
    EXPECT_TRUE(HoldsRegistration(ClassesRoot::Machine, copy));
    EXPECT_EQ(copy, RegisteredTypeLibPath(ClassesRoot::Machine).value_or(L"<none>"));
    ASSERT_EQ(0u, Regsvr32(L"/s /u", copy));
    EXPECT_TRUE(HoldsNoRegistration(ClassesRoot::Machine));
}

class InstallTest : public ::testing::Test {
protected:
    RegistrationSandbox sandbox_;
};

TEST_F(InstallTest, OnlyTheWholeWordUserInAnyCaseRegistersPerUser) {
    struct Case {
        const wchar_t* commandLine;
        ClassesRoot root;
    };
    const Case cases[] = {
        {L"user", ClassesRoot::User},     {L"USER", ClassesRoot::User},     {L"uSeR", ClassesRoot::User},
        {nullptr, ClassesRoot::Machine},  {L"", ClassesRoot::Machine},      {L"userx", ClassesRoot::Machine},
        {L"use", ClassesRoot::Machine},   {L"user ", ClassesRoot::Machine},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine ? ::testing::PrintToString(std::wstring(c.commandLine)) : "null");
        const ClassesRoot other = c.root == ClassesRoot::User ? ClassesRoot::Machine : ClassesRoot::User;
        LoadedControl control;
        ASSERT_EQ(S_OK, control.Install(TRUE, c.commandLine));
        EXPECT_TRUE(HoldsRegistration(c.root, ControlDllPath()));
        EXPECT_FALSE(KeyExists(RootKey(other), ClassesPath(kClassKey)));
        ASSERT_EQ(S_OK, control.Install(FALSE, c.commandLine));
        EXPECT_TRUE(HoldsNoRegistration(c.root));
    }
}

TEST_F(InstallTest, AfterUserEveryLaterRegistrationOfTheProcessIsPerUser) {
    LoadedControl control;
    ASSERT_EQ(S_OK, control.Install(TRUE, L"user"));
    ASSERT_EQ(S_OK, control.Unregister());
    EXPECT_TRUE(HoldsNoRegistration(ClassesRoot::User));

    ASSERT_EQ(S_OK, control.Register());
    EXPECT_TRUE(HoldsRegistration(ClassesRoot::User, ControlDllPath()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ClassesPath(kClassKey)));
    ASSERT_EQ(S_OK, control.Install(FALSE, nullptr));
    EXPECT_TRUE(HoldsNoRegistration(ClassesRoot::User));
}

TEST_F(InstallTest, AFailedInstallIsRolledBackAndReportsTheRegistrationsError) {
    LoadedControl control;
    // The class script's id names no resource: the registrar cannot run it.
    const RegistrationSource broken{control.module(), 101, 999};
    const HRESULT registration = server::RegisterServer(broken);
    ASSERT_TRUE(FAILED(registration));
    // Registration alone undoes nothing.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, ClassesPath(kAppIdKey)));

    EXPECT_EQ(registration, server::InstallServer(broken, TRUE, nullptr));
    EXPECT_TRUE(HoldsNoRegistration(ClassesRoot::Machine));
    EXPECT_FALSE(RegisteredTypeLibPath(ClassesRoot::Machine));
}

TEST_F(InstallTest, TheCallersThreadLocaleComesBackOnEveryWayOut) {
    const LCID saved = ::GetThreadLocale();
    const LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
    ASSERT_TRUE(::SetThreadLocale(german));
    {
        LoadedControl control;
        EXPECT_EQ(S_OK, control.Register());
        EXPECT_EQ(german, ::GetThreadLocale());
        EXPECT_EQ(S_OK, control.Unregister());
        EXPECT_EQ(german, ::GetThreadLocale());

        const RegistrationSource broken{control.module(), 101, 999};
        EXPECT_TRUE(FAILED(server::RegisterServer(broken)));
        EXPECT_EQ(german, ::GetThreadLocale());
        EXPECT_TRUE(FAILED(server::UnregisterServer(broken)));
        EXPECT_EQ(german, ::GetThreadLocale());
        EXPECT_TRUE(FAILED(server::InstallServer(broken, TRUE, nullptr)));
        EXPECT_EQ(german, ::GetThreadLocale());
    }
    ::SetThreadLocale(saved);
}

TEST_F(InstallTest, ACallersApartmentIsLeftAsItWas) {
    LoadedControl control;
    for (const DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        SCOPED_TRACE(model);
        HRESULT registered = E_FAIL, unregistered = E_FAIL, stillInitialised = E_FAIL;
        std::thread([&] {
            if (FAILED(::CoInitializeEx(nullptr, model))) return;
            registered = control.Register();
            unregistered = control.Unregister();
            // S_FALSE: the apartment was still there.
            stillInitialised = ::CoInitializeEx(nullptr, model);
            if (SUCCEEDED(stillInitialised)) ::CoUninitialize();
            ::CoUninitialize();
        }).join();
        EXPECT_EQ(S_OK, registered);
        EXPECT_EQ(S_OK, unregistered);
        EXPECT_EQ(S_FALSE, stillInitialised);
    }
    EXPECT_TRUE(HoldsNoRegistration(ClassesRoot::Machine));
}

TEST(HelpDirectory, IsThePathUpToItsLastSeparator) {
    EXPECT_EQ(L"C:\\help\\", server::HelpDirectoryOf(L"C:\\help\\control.chm"));
    EXPECT_EQ(L"C:\\a/b/", server::HelpDirectoryOf(L"C:\\a/b/control.hlp"));
    EXPECT_EQ(L"C:", server::HelpDirectoryOf(L"C:control.hlp"));
    EXPECT_EQ(L"", server::HelpDirectoryOf(L"control.hlp"));
    EXPECT_EQ(L"\\\\host\\share\\", server::HelpDirectoryOf(L"\\\\host\\share\\"));
}

}  // namespace
}  // namespace mv::test
