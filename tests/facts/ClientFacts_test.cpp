// What the client's installation leaves for the control: the user id and the
// install times in the registry, the channel number in mivo.cfg.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FactsTestSupport.h"
#include "facts/ClientFacts.h"
#include "win/ScopedBstr.h"

namespace {

using mv::test::CallByName;
using mv::test::ControlDirTest;
using mv::test::kUlongSentinel;
using mv::test::ScopedVariant;

constexpr wchar_t kClientKey[] = L"Software\\MIVO\\MiVoVA";

class UserIdTest : public ControlDirTest {
protected:
    void ExpectUserId(ULONG expected, ULONG mask = 0xFFFFFFFF) {
        ULONG direct = kUlongSentinel;
        mv::facts::ReadRegisterId(&direct);
        EXPECT_EQ(expected, direct);
        ExpectNumber(&IMVDetectorCOM::GetUserId, L"GetUserId", expected, mask);
    }
};

TEST_F(UserIdTest, ANumberFillsTheResult) {
    user_.SetDword(L"RegisterId", 123456);
    ExpectUserId(123456);
    user_.SetDword(L"RegisterId", 0xFFFFFFFE);
    ExpectUserId(0xFFFFFFFE);
}

TEST_F(UserIdTest, TheRawBytesAreTakenWhateverTheType) {
    const BYTE two[] = {0x34, 0x12};
    user_.SetRaw(L"RegisterId", REG_BINARY, two, sizeof(two));
    ExpectUserId((kUlongSentinel & 0xFFFF0000) | 0x1234, 0x0000FFFF);

    user_.SetString(L"RegisterId", L"7");  // four bytes with its terminator
    ExpectUserId(0x00000037);
}

TEST_F(UserIdTest, AValueThatCannotBeReadLeavesTheCallersValue) {
    user_.SetString(L"RegisterId", L"123456");
    ExpectUserId(kUlongSentinel, 0);

    const BYTE five[] = {1, 2, 3, 4, 5};
    user_.SetRaw(L"RegisterId", REG_BINARY, five, sizeof(five));
    ExpectUserId(kUlongSentinel, 0);

    user_.DeleteValue(L"RegisterId");
    ExpectUserId(kUlongSentinel, 0);

    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER, kClientKey));
    ExpectUserId(kUlongSentinel, 0);
}

// Both install times follow one rule; each case is run for each value, with
// the other value holding something else so that a mixed-up name shows.
struct TimeValue {
    const wchar_t* value;
    const wchar_t* other;
    const wchar_t* method;
    std::wstring (*reader)();
};

class InstallTimeTest : public ControlDirTest, public ::testing::WithParamInterface<TimeValue> {
protected:
    void SetUp() override {
        ControlDirTest::SetUp();
        user_.SetString(GetParam().other, L"the other time");
    }

    void Store(const std::wstring& units, DWORD type = REG_SZ) {
        user_.SetRaw(GetParam().value, type, units.data(), static_cast<DWORD>(units.size() * sizeof(wchar_t)));
    }

    void ExpectText(const std::wstring& expected) {
        const TimeValue& v = GetParam();
        EXPECT_EQ(expected, v.reader());

        mv::win::ScopedBstr text;
        const HRESULT hr = v.method == std::wstring(L"GetInstallTime") ? detector_->GetInstallTime(text.Receive())
                                                                       : detector_->GetFirstInstallTime(text.Receive());
        EXPECT_EQ(S_OK, hr);
        ASSERT_NE(nullptr, text.Get()) << "an empty text is an empty string, not null";
        EXPECT_EQ(expected, std::wstring(text.Get(), text.Length()));

        ScopedVariant byName;
        ASSERT_EQ(S_OK, CallByName(detector_, v.method, byName.Receive()));
        ASSERT_EQ(VT_BSTR, V_VT(&byName.get()));
        ASSERT_NE(nullptr, V_BSTR(&byName.get()));
        EXPECT_EQ(expected, std::wstring(V_BSTR(&byName.get()), ::SysStringLen(V_BSTR(&byName.get()))));
    }
};

TEST_P(InstallTimeTest, TheTextIsReturnedAsStored) {
    Store(std::wstring(L"2019-03-04 10:20:30") + L'\0');
    ExpectText(L"2019-03-04 10:20:30");
    Store(std::wstring(L"2019年3月4日 星期一 上午10:20") + L'\0');
    ExpectText(L"2019年3月4日 星期一 上午10:20");
    Store(std::wstring(L"  1551694830 \t") + L'\0');
    ExpectText(L"  1551694830 \t");
}

TEST_P(InstallTimeTest, AnAbsentValueOrKeyGivesAnEmptyString) {
    ExpectText(L"");
    Store(std::wstring());
    ExpectText(L"");
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER, kClientKey));
    ExpectText(L"");
}

TEST_P(InstallTimeTest, TheTextEndsAtItsFirstNull) {
    Store(std::wstring(L"12:00\0junk", 10) + L'\0');
    ExpectText(L"12:00");
}

TEST_P(InstallTimeTest, AtMost260UnitsAreRead) {
    const std::wstring longest(259, L'x');
    Store(longest + L'\0');
    ExpectText(longest);

    // 520 bytes without a terminator fill the buffer exactly: all of it, and
    // nothing beyond it. (As text the platform asks room for a terminator.)
    const std::wstring full(260, L'y');
    Store(full, REG_BINARY);
    ExpectText(full);

    Store(full + L'\0');
    ExpectText(L"");
    Store(std::wstring(300, L'z') + L'\0');
    ExpectText(L"");
}

INSTANTIATE_TEST_SUITE_P(
    Values, InstallTimeTest,
    ::testing::Values(TimeValue{L"FirstInstallTime", L"InstallTime", L"GetFirstInstallTime", &mv::facts::ReadFirstInstallTime},
                      TimeValue{L"InstallTime", L"FirstInstallTime", L"GetInstallTime", &mv::facts::ReadInstallTime}),
    [](const ::testing::TestParamInfo<TimeValue>& info) {
        const std::wstring name = info.param.value;
        return std::string(name.begin(), name.end());
    });

// Each case in a control directory of its own: the platform's reader may
// keep a file it has read, and must see each content as new.
struct ChannelCase {
    const char* config;  // null: no mivo.cfg
    ULONG channel;
    const char* label;
};

class ChannelTest : public ControlDirTest, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(ChannelTest, ReadFromTheFileBesideTheControl) {
    if (GetParam().config) WriteConfig(GetParam().config);
    ExpectChannel(GetParam().channel);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ChannelTest,
    ::testing::Values(ChannelCase{nullptr, 1011, "NoFile"},
                      ChannelCase{"[channel]\r\nnum=2050\r\n", 2050, "Number"},
                      ChannelCase{"[channel]\r\nid=2050\r\n", 1011, "NoKey"},
                      ChannelCase{"[other]\r\nnum=2050\r\n", 1011, "NoSection"},
                      // Not a number: the platform's reader decides; it takes
                      // the leading digits, here none.
                      ChannelCase{"[channel]\r\nnum=abc\r\n", 0, "NotANumber"}),
    [](const ::testing::TestParamInfo<ChannelCase>& info) { return std::string(info.param.label); });

TEST_F(ControlDirTest, TheChannelIsNotTakenFromBesideTheClient) {
    mv::test::ScopedTempDir clientDir(L"client");
    mv::test::WriteFileBytes(clientDir.Child(L"MVPlayer.exe"), "MZ");
    mv::test::WriteFileBytes(clientDir.Child(L"mivo.cfg"), "[channel]\r\nnum=2050\r\n");
    user_.SetString(L"Path", clientDir.path());
    ExpectChannel(1011);
}

}  // namespace
