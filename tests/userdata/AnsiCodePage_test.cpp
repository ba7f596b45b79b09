// Files declared as GB2312, on a system whose ANSI code page is 936. CTest
// starts this program with LC_ALL=zh_CN.UTF-8, from which Wine takes it.
#include "userdata/UserDataStore.h"

#include <gtest/gtest.h>

#include <string>

#include "StoreTestSupport.h"

namespace mv::userdata {
namespace {

using test::InCodePage;
using test::Utf8;

class Gb2312File : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(936u, ::GetACP()) << "this program must run with LC_ALL=zh_CN.UTF-8"; }

    test::ScopedTempDir dir_{L"storegb"};
    std::wstring file_ = test::StoreFileIn(dir_);
};

TEST_F(Gb2312File, IsRewrittenAsUtf8WithItsValues) {
    const std::wstring text =
        L"<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<UserData>\n\t<音量><![CDATA[八十，很好]]></音量>\n"
        L"\t<标题>中文&amp;标题</标题>\n</UserData>\n";
    test::MakeDirs(dir_.Child(L"config"));
    test::WriteFileBytes(file_, InCodePage(936, text));

    UserDataStore store(dir_.path());
    EXPECT_EQ(L"八十，很好", store.ReadValue(L"音量"));
    EXPECT_EQ(L"中文&标题", store.ReadValue(L"标题"));
    std::wstring converted = text;
    converted.replace(converted.find(L"encoding=\"GB2312\""), 17, L"encoding=\"utf-8\"");
    std::string expected;
    for (const char c : Utf8(converted)) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(expected, test::ReadFileBytes(file_));

    store.WriteValue(L"音量", L"六十");
    EXPECT_EQ(L"六十", UserDataStore(dir_.path()).ReadValue(L"音量"));
    EXPECT_EQ(L"中文&标题", UserDataStore(dir_.path()).ReadValue(L"标题"));
}

TEST_F(Gb2312File, TheMarkerInAStoredValueLeavesAUtf8FileAlone) {
    {
        UserDataStore store(dir_.path());
        store.WriteValue(L"note", L"中文 encoding=\"GB2312\"");
    }
    const std::string before = test::ReadFileBytes(file_);
    EXPECT_EQ(L"中文 encoding=\"GB2312\"", UserDataStore(dir_.path()).ReadValue(L"note"));
    EXPECT_EQ(before, test::ReadFileBytes(file_));
}

}  // namespace
}  // namespace mv::userdata
