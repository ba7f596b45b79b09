// The 64-bit control registered beside the 32-bit one. The 32-bit
// registration is laid down as its regsvr32 leaves it on 64-bit Windows
// (32-bit code does not run on every test machine): its class key in the
// 32-bit view and a win32 entry in the type library key; the ProgIDs, the
// AppID keys and the interface keys in both views it writes as this one does.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

#include "RegistrationChecks.h"
#include "TestSupport.h"
#include "win/UniqueHandle.h"

namespace mv::test {
namespace {

constexpr wchar_t kOtherServer[] = L"C:\\Program Files\\Mivo\\MivoDetector.dll";
const std::wstring kTypeLibKey = std::wstring(L"TypeLib\\") + kLibId;
const std::wstring kOtherClassKey = std::wstring(kWow64View) + kClassKey;
const std::wstring kOtherInterfaceKey = std::wstring(kWow64View) + kInterfaceKey;

std::wstring TypeLibEntry(const wchar_t* platform) { return kTypeLibKey + L"\\1.0\\0\\" + platform; }

void SetDefault(HKEY root, const std::wstring& below, const std::wstring& value) {
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(root, ClassesPath(below).c_str(), nullptr, REG_SZ, value.c_str(),
                                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

std::wstring WithoutLinesHolding(const std::wstring& text, const std::wstring& part) {
    std::wistringstream lines(text);
    std::wstring kept, line;
    while (std::getline(lines, line))
        if (line.find(part) == std::wstring::npos) kept += line + L"\n";
    return kept;
}

// Per machine or per user; the 32-bit control still registered, or gone first.
class SideBySideTest : public ::testing::TestWithParam<std::pair<ClassesRoot, bool>> {
protected:
    RegistrationSandbox sandbox_;
};

TEST_P(SideBySideTest, UnregisteringOneLeavesWhatTheOtherNeedsAndTheLastLeavesNothing) {
    if (sizeof(void*) != 8) GTEST_SKIP() << "the 64-bit control's registration beside the 32-bit one";
    const auto [root, otherStays] = GetParam();
    const std::wstring perUser = root == ClassesRoot::User ? L" /n /i:user" : L"";
    ASSERT_EQ(0u, Regsvr32(L"/s" + perUser));
    // Wine's per-user type library function registers machine-wide.
    const HKEY classes = RootKey(root);
    const HKEY typeLibs = RootKey(RegisteredTypeLibPath(root) ? root : ClassesRoot::Machine);

    {
        win::unique_hkey ours, others;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(classes, ClassesPath(kClassKey).c_str(), 0, KEY_READ, ours.put()));
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(classes, ClassesPath(kOtherClassKey).c_str(), 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, others.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegCopyTreeW(ours.get(), nullptr, others.get()));
    }
    SetDefault(classes, kOtherClassKey + L"\\InprocServer32", kOtherServer);
    SetDefault(typeLibs, TypeLibEntry(L"win32"), kOtherServer);
    ASSERT_TRUE(KeyExists(typeLibs, ClassesPath(kOtherInterfaceKey)));
    if (!otherStays) {
        // The 32-bit control unregistered first, as the last one would: the
        // type library functions take the interface keys out of both views.
        ::RegDeleteTreeW(classes, ClassesPath(kOtherClassKey).c_str());
        for (const std::wstring& below : {kOtherInterfaceKey, std::wstring(kInterfaceKey)})
            ::RegDeleteTreeW(typeLibs, ClassesPath(below).c_str());
        ::RegDeleteKeyW(typeLibs, ClassesPath(TypeLibEntry(L"win32")).c_str());
    }
    const auto othersKeys = [&] {
        std::wstring text = DescribeTree(classes, ClassesPath(kOtherClassKey));
        for (const std::wstring& below : {std::wstring(kInterfaceKey), kOtherInterfaceKey, kTypeLibKey})
            text += DescribeTree(typeLibs, ClassesPath(below));
        for (const wchar_t* shared : {kProgId, kVersionedProgId, kAppIdKey, kAppIdModuleKey})
            text += DescribeTree(classes, ClassesPath(shared));
        return text;
    };
    const std::wstring before = WithoutLinesHolding(othersKeys(), L"\\0\\win64");

    ASSERT_EQ(0u, Regsvr32(L"/s /u" + perUser));
    EXPECT_FALSE(KeyExists(classes, ClassesPath(kClassKey)));
    EXPECT_FALSE(KeyExists(typeLibs, ClassesPath(TypeLibEntry(L"win64"))));
    if (otherStays) {
        EXPECT_NE(std::wstring::npos, before.find(kOtherServer));
        EXPECT_EQ(before, othersKeys());
        return;
    }
    EXPECT_TRUE(HoldsNoRegistration(root));
    for (const HKEY key : {classes, typeLibs})
        for (const std::wstring& below : {kOtherClassKey, std::wstring(kInterfaceKey), kOtherInterfaceKey, kTypeLibKey})
            EXPECT_FALSE(KeyExists(key, ClassesPath(below))) << below;
}

INSTANTIATE_TEST_SUITE_P(PerMachineAndPerUser, SideBySideTest,
                         ::testing::Values(std::pair{ClassesRoot::Machine, true},
                                           std::pair{ClassesRoot::Machine, false},
                                           std::pair{ClassesRoot::User, true}, std::pair{ClassesRoot::User, false}));

}  // namespace
}  // namespace mv::test
