#include "userdata/UserDataStore.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "StoreTestSupport.h"
#include "shortcuts/SpecialFolders.h"

namespace mv::userdata {
namespace {

using test::FileExists;
using test::kFreshStoreFile;
using test::ReadFileBytes;
using test::ScopedTempDir;
using test::Utf8;

constexpr char kWorkedExample[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n"
    "<UserData>\r\n"
    "\t<volume>\r\n"
    "\t\t<![CDATA[80]]>\r\n"
    "\t</volume>\r\n"
    "\t<theme>\r\n"
    "\t\t<![CDATA[dark]]>\r\n"
    "\t</theme>\r\n"
    "</UserData>\r\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class StoreTest : public ::testing::Test {
protected:
    std::string FileBytes() const { return ReadFileBytes(file_); }
    void WriteFile(const std::string& bytes) const {
        test::MakeDirs(dir_.Child(L"config"));
        test::WriteFileBytes(file_, bytes);
    }

    ScopedTempDir dir_{L"store"};
    std::wstring file_ = test::StoreFileIn(dir_);
};

TEST_F(StoreTest, FreshStoreMakesTheFolderAndTheEmptyFile) {
    UserDataStore store(dir_.path());
    EXPECT_EQ(file_, store.path());
    EXPECT_EQ(kFreshStoreFile, FileBytes());
    EXPECT_EQ(54u, FileBytes().size());
    EXPECT_EQ(L"", store.ReadValue(L"volume"));
    EXPECT_EQ(kFreshStoreFile, FileBytes());
}

TEST_F(StoreTest, WorkedExampleByteForByte) {
    UserDataStore store(dir_.path());
    store.WriteValue(L"volume", L"80");
    store.WriteValue(L"theme", L"dark");
    EXPECT_EQ(kWorkedExample, FileBytes());
    EXPECT_EQ(148u, FileBytes().size());
    EXPECT_EQ(L"80", store.ReadValue(L"volume"));
    EXPECT_EQ(L"", store.ReadValue(L"Volume"));
    EXPECT_EQ(L"", store.ReadValue(L"size"));

    store.WriteValue(L"volume", L"65");
    EXPECT_EQ(Replace(kWorkedExample, "[80]", "[65]"), FileBytes());
    store.WriteValue(L"volume", L"80");
    EXPECT_EQ(kWorkedExample, FileBytes());

    // A later process parses the declaration into attributes: no space before "?>".
    UserDataStore later(dir_.path());
    later.WriteValue(L"volume", L"80");
    EXPECT_EQ(Replace(kWorkedExample, "\"utf-8\" ?>", "\"utf-8\"?>"), FileBytes());
    EXPECT_EQ(147u, FileBytes().size());
}

TEST_F(StoreTest, KeysAreExactAndWrittenOnce) {
    UserDataStore store(dir_.path());
    store.WriteValue(L"volume", L"1");
    store.WriteValue(L"Volume", L"2");
    store.WriteValue(L"volume", L"3");
    store.WriteValue(L"音量", L"八十");
    EXPECT_EQ(L"3", store.ReadValue(L"volume"));
    EXPECT_EQ(L"2", store.ReadValue(L"Volume"));
    EXPECT_EQ(L"", store.ReadValue(L"volum"));
    EXPECT_EQ(L"", store.ReadValue(L"volumes"));
    const std::string bytes = FileBytes();
    EXPECT_LT(bytes.find("<volume>"), bytes.find("<Volume>"));
    EXPECT_EQ(bytes.rfind("<volume>"), bytes.find("<volume>"));
    EXPECT_NE(std::string::npos, bytes.find(Utf8(L"\t<音量>\r\n\t\t<![CDATA[八十]]>\r\n\t</音量>\r\n")));

    UserDataStore reloaded(dir_.path());
    EXPECT_EQ(L"3", reloaded.ReadValue(L"volume"));
    EXPECT_EQ(L"2", reloaded.ReadValue(L"Volume"));
    EXPECT_EQ(L"八十", reloaded.ReadValue(L"音量"));
}

// Values that a single CDATA section, a text-mode file or a parser that
// trims could change.
const std::vector<std::wstring>& TrickyValues() {
    static const std::vector<std::wstring> values = {
        L"<b>&amp;\"'</b>", L"\U0001F600 \U00020000", L"line\r\nnext\nlast\r", L"  leading", L"",
        L"]]>", L"a]]>b]]]>>c]]>", L"]]]]>>", L"\t \r\n", L"中文 encoding=\"GB2312\""};
    return values;
}

TEST_F(StoreTest, TrickyValuesReadBackUnchangedAfterReload) {
    {
        UserDataStore store(dir_.path());
        store.WriteValue(L"plain", L"80");
        for (size_t i = 0; i < TrickyValues().size(); ++i)
            store.WriteValue((L"k" + std::to_wstring(i)).c_str(), TrickyValues()[i].c_str());
        // Rewriting a split value, with and without the sequence, keeps one entry.
        store.WriteValue(L"k5", L"x]]>y");
        store.WriteValue(L"k5", L"]]>");
        store.WriteValue(L"k0", L"<b>&amp;\"'</b>");
    }
    const std::string bytes = FileBytes();
    EXPECT_NE(std::string::npos, bytes.find("\t<plain>\r\n\t\t<![CDATA[80]]>\r\n\t</plain>\r\n"));
    EXPECT_NE(std::string::npos, bytes.find("\t<k4>\r\n\t\t<![CDATA[]]>\r\n\t</k4>\r\n"));
    EXPECT_NE(std::string::npos, bytes.find("\t<k5>\r\n\t\t<![CDATA[]]]]>\r\n\t\t<![CDATA[>]]>\r\n\t</k5>\r\n"));

    UserDataStore reloaded(dir_.path());
    EXPECT_EQ(L"80", reloaded.ReadValue(L"plain"));
    for (size_t i = 0; i < TrickyValues().size(); ++i)
        EXPECT_EQ(TrickyValues()[i], reloaded.ReadValue((L"k" + std::to_wstring(i)).c_str())) << "value " << i;
}

TEST_F(StoreTest, HandEditedEntries) {
    WriteFile(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<UserData>\r\n"
        "\t<text>8&amp;0 &lt;&#x4E2D;&gt;</text>\r\n\t<empty/>\r\n\t<blank>x</blank>\r\n"
        "\t<commented><!-- why --></commented>\r\n\t<nul>a&#0;b</nul>\r\n</UserData>\r\n");
    UserDataStore store(dir_.path());
    EXPECT_EQ(L"8&0 <中>", store.ReadValue(L"text"));
    // A reference to NUL is dropped; the rest of the value and of the file stays.
    EXPECT_EQ(L"ab", store.ReadValue(L"nul"));
    EXPECT_EQ(L"", store.ReadValue(L"empty"));

    store.WriteValue(L"text", L"<a&b>\"'");
    EXPECT_NE(std::string::npos, FileBytes().find("\t<text>&lt;a&amp;b&gt;&quot;&apos;</text>\r\n"));
    store.WriteValue(L"empty", L"x");
    EXPECT_NE(std::string::npos, FileBytes().find("\t<empty>\r\n\t\t<![CDATA[x]]>\r\n\t</empty>\r\n"));
    // Blank text between tags would not be read back as text.
    store.WriteValue(L"blank", L"  ");
    store.WriteValue(L"commented", L"v");

    UserDataStore reloaded(dir_.path());
    EXPECT_EQ(L"<a&b>\"'", reloaded.ReadValue(L"text"));
    EXPECT_EQ(L"x", reloaded.ReadValue(L"empty"));
    EXPECT_EQ(L"  ", reloaded.ReadValue(L"blank"));
    EXPECT_EQ(L"v", reloaded.ReadValue(L"commented"));
    EXPECT_EQ(L"ab", reloaded.ReadValue(L"nul"));
    EXPECT_NE(std::string::npos, FileBytes().find("<!-- why -->"));
}

TEST_F(StoreTest, RootAfterOtherTopLevelNodesIsAdopted) {
    WriteFile("<!-- note -->\n<other a=\"1\">t</other>\n<UserData>\n\t<k><![CDATA[v]]></k>\n</UserData>\n");
    UserDataStore store(dir_.path());
    EXPECT_EQ(L"v", store.ReadValue(L"k"));
    store.WriteValue(L"k2", L"w");
    EXPECT_EQ(
        "<!-- note -->\r\n<other a=\"1\">t</other>\r\n<UserData>\r\n\t<k>\r\n\t\t<![CDATA[v]]>\r\n\t</k>\r\n"
        "\t<k2>\r\n\t\t<![CDATA[w]]>\r\n\t</k2>\r\n</UserData>\r\n",
        FileBytes());
    EXPECT_FALSE(FileExists(file_ + L".bad"));
}

TEST_F(StoreTest, UnreadableFilesAreKeptAsideEachUnderANameOfItsOwn) {
    const std::string unreadable[] = {
        "",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<UserData>\r\n\t<k>\r\n\t\t<![CDATA[va",
        "<userdata>\r\n\t<k><![CDATA[v]]></k>\r\n</userdata>\r\n",
        "<Other/>\r\n",
        "<?UserData pi?>\r\n",
        "<UserData><k>v</k>",
        "not xml",
    };
    auto copy = [&](size_t n) { return file_ + L".bad" + (n == 1 ? L"" : std::to_wstring(n)); };
    WriteFile("");
    test::WriteFileBytes(file_ + L".bad.txt", "not a kept copy");
    for (size_t i = 0; i < std::size(unreadable); ++i) {
        WriteFile(unreadable[i]);
        UserDataStore store(dir_.path());
        EXPECT_EQ(kFreshStoreFile, FileBytes());
        EXPECT_EQ(unreadable[i], ReadFileBytes(copy(i + 1))) << i;
        store.WriteValue(L"k", L"new");
        EXPECT_EQ(L"new", UserDataStore(dir_.path()).ReadValue(L"k"));
    }
    // The newest five stay, byte for byte; the oldest went first.
    for (size_t i = 0; i < std::size(unreadable); ++i)
        EXPECT_EQ(i >= 2, FileExists(copy(i + 1)) && ReadFileBytes(copy(i + 1)) == unreadable[i]) << i;
    EXPECT_TRUE(FileExists(file_ + L".bad.txt"));
}

// Antivirus and backup programs hold a file open without sharing for a
// moment: the store must wait that out, neither setting the file aside nor
// saving over what it could not read, and save a change made meanwhile
// with its next save. A store that never read the file keeps its change
// only until it is gone.
TEST_F(StoreTest, AFileThatCannotBeReadForAMomentLosesNothing) {
    UserDataStore store(dir_.path());
    store.WriteValue(L"a", L"1");
    store.WriteValue(L"b", L"2");
    UserDataStore(dir_.path()).WriteValue(L"c", L"3");  // the next call of `store` reloads
    {
        win::unique_file held(::CreateFileW(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(L"1", store.ReadValue(L"a"));
        store.WriteValue(L"d", L"kept while held");
        EXPECT_EQ(L"kept while held", store.ReadValue(L"d"));
        UserDataStore opened(dir_.path());
        opened.WriteValue(L"e", L"lost while held");
        EXPECT_EQ(L"", opened.ReadValue(L"a"));
    }
    store.WriteValue(L"f", L"6");
    UserDataStore reloaded(dir_.path());
    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"a", L"1"}, {L"b", L"2"}, {L"c", L"3"}, {L"d", L"kept while held"}, {L"e", L""}, {L"f", L"6"}};
    for (const auto& [key, value] : expected) EXPECT_EQ(value, reloaded.ReadValue(key)) << Utf8(key);
    EXPECT_FALSE(FileExists(file_ + L".bad"));
}

// A Documents folder on a share that drops, or a sync tool that moves the
// folder: the store keeps what it has, and saves what it was given
// meanwhile once the folder is back.
TEST_F(StoreTest, AFolderGoneForAMomentLosesNothing) {
    UserDataStore store(dir_.path());
    store.WriteValue(L"a", L"1");
    store.WriteValue(L"k", L"v1");
    const std::wstring away = dir_.path() + L" away";
    ASSERT_TRUE(::MoveFileW(dir_.path().c_str(), away.c_str()));
    store.WriteValue(L"k", L"v2");
    EXPECT_EQ(L"1", store.ReadValue(L"a"));
    EXPECT_EQ(L"v2", store.ReadValue(L"k"));
    ASSERT_TRUE(::MoveFileW(away.c_str(), dir_.path().c_str()));
    EXPECT_EQ(L"v2", store.ReadValue(L"k"));
    EXPECT_NE(std::string::npos, FileBytes().find("v2"));
    EXPECT_EQ(L"1", UserDataStore(dir_.path()).ReadValue(L"a"));
}

TEST_F(StoreTest, KeysThatAreNotXmlNamesAreRefusedAndHarmNothing) {
    UserDataStore store(dir_.path());
    store.WriteValue(L"volume", L"80");
    store.WriteValue(L"音量", L"八十");
    store.WriteValue(L"a:b-c.d_1", L"ok");
    store.WriteValue(L"\U00010000x", L"astral");
    const std::string before = FileBytes();
    for (const wchar_t* key : {L"", L" a", L"a b", L"a\tb", L"<a>", L"a>b", L"a/b", L"a&b", L"a=\"1\"", L"1abc",
                               L"-x", L".x", L"!x", L"?x", L"a\xD800", L"\xDC00"}) {
        store.WriteValue(key, L"bad");
        EXPECT_EQ(L"", store.ReadValue(key)) << Utf8(key);
        EXPECT_FALSE(IsStorableKey(key)) << Utf8(key);
    }
    EXPECT_EQ(before, FileBytes());
    UserDataStore reloaded(dir_.path());
    EXPECT_EQ(L"80", reloaded.ReadValue(L"volume"));
    EXPECT_EQ(L"八十", reloaded.ReadValue(L"音量"));
    EXPECT_EQ(L"ok", reloaded.ReadValue(L"a:b-c.d_1"));
    EXPECT_EQ(L"astral", reloaded.ReadValue(L"\U00010000x"));
}

TEST_F(StoreTest, WritesBeyondTheSizeLimitAreRefused) {
    UserDataStore store(dir_.path());
    const std::wstring six(6 << 20, L'a');
    store.WriteValue(L"big", six.c_str());
    const std::string before = FileBytes();
    EXPECT_GT(before.size(), 6u << 20);

    store.WriteValue(L"more", std::wstring(5 << 20, L'b').c_str());
    store.WriteValue(L"big", std::wstring(kMaxStoreFileBytes, L'c').c_str());
    EXPECT_EQ(L"", store.ReadValue(L"more"));
    EXPECT_EQ(six, store.ReadValue(L"big"));
    EXPECT_EQ(before, FileBytes());

    // Up to the limit is allowed, and a smaller value always is.
    const std::wstring nine(9 << 20, L'd');
    store.WriteValue(L"big", nine.c_str());
    store.WriteValue(L"small", L"s");
    EXPECT_EQ(nine, UserDataStore(dir_.path()).ReadValue(L"big"));
    store.WriteValue(L"big", L"e");
    EXPECT_EQ(L"e", UserDataStore(dir_.path()).ReadValue(L"big"));
    EXPECT_EQ(L"s", UserDataStore(dir_.path()).ReadValue(L"small"));
}

TEST_F(StoreTest, TooLongAFolderKeepsTheStoreInMemory) {
    const std::wstring folder = dir_.path() + L"\\" + std::wstring(250 - dir_.path().size(), L'x');
    UserDataStore store(folder);
    EXPECT_STREQ(L"", store.path());
    store.WriteValue(L"k", L"v");
    EXPECT_EQ(L"v", store.ReadValue(L"k"));
    EXPECT_FALSE(FileExists(folder));
}

TEST_F(StoreTest, EveryStoreSeesTheLatestSaveOfAnyOther) {
    UserDataStore first(dir_.path());
    UserDataStore second(dir_.path());
    first.WriteValue(L"a", L"1");
    EXPECT_EQ(L"1", second.ReadValue(L"a"));
    second.WriteValue(L"b", L"2");
    first.WriteValue(L"c", L"3");
    second.WriteValue(L"a", L"4");
    UserDataStore third(dir_.path());
    EXPECT_EQ(L"4", third.ReadValue(L"a"));
    EXPECT_EQ(L"2", third.ReadValue(L"b"));
    EXPECT_EQ(L"3", third.ReadValue(L"c"));

    // An edit by hand counts as well.
    WriteFile("<UserData><a>edited</a></UserData>");
    EXPECT_EQ(L"edited", first.ReadValue(L"a"));
    EXPECT_EQ(L"", first.ReadValue(L"b"));
}

TEST_F(StoreTest, ThreadsSharingOneStoreLoseNothing) {
    UserDataStore store(dir_.path());
    constexpr int kThreads = 6;
    constexpr int kKeys = 40;
    std::vector<std::thread> threads;
    std::vector<int> mismatches(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kKeys; ++i) {
                const std::wstring key = L"t" + std::to_wstring(t) + L"_" + std::to_wstring(i);
                const std::wstring value = std::wstring(50 + i, static_cast<wchar_t>(L'a' + t)) + L"]]>" + key;
                store.WriteValue(key.c_str(), value.c_str());
                store.WriteValue(L"shared", key.c_str());
                if (store.ReadValue(key.c_str()) != value) ++mismatches[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    UserDataStore reloaded(dir_.path());
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(0, mismatches[t]);
        for (int i = 0; i < kKeys; ++i) {
            const std::wstring key = L"t" + std::to_wstring(t) + L"_" + std::to_wstring(i);
            EXPECT_EQ(std::wstring(50 + i, static_cast<wchar_t>(L'a' + t)) + L"]]>" + key,
                      reloaded.ReadValue(key.c_str()));
        }
    }
    EXPECT_EQ(L't', reloaded.ReadValue(L"shared").front());
}

TEST(ProcessStore, LivesUnderTheProductDataFolder) {
    const std::wstring product = shortcuts::GetPersonalFolderPath() + shortcuts::kProductFolderName;
    test::RemoveTree(product);
    UserDataStore& store = GetUserDataStore();
    EXPECT_EQ(&store, &GetUserDataStore());
    EXPECT_EQ(product + L"\\config\\UserData.xml", store.path());
    EXPECT_EQ(kFreshStoreFile, ReadFileBytes(store.path()));
    store.WriteValue(L"volume", L"80");
    EXPECT_EQ(L"80", UserDataStore().ReadValue(L"volume"));
    test::RemoveTree(product);
}

}  // namespace
}  // namespace mv::userdata
