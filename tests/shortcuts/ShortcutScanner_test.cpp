// Desktop shortcuts that launch the client for a playlist.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <functional>
#include <thread>

#include "ShortcutFiles.h"
#include "TestSupport.h"
#include "com/ComObject.h"
#include "control/MVDetector.h"
#include "shortcuts/ShortcutFactCache.h"
#include "shortcuts/ShortcutScanner.h"

namespace {

using mv::shortcuts::FindPlaylistShortcut;
using mv::shortcuts::ParseId;
using mv::test::DesktopShortcuts;
using mv::test::ScopedTempDir;

constexpr wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Sets one value of an existing key for a scope, then puts the old one back.
class ScopedRegistryValue {
public:
    ScopedRegistryValue(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& value)
        : root_(root), path_(path), name_(name) {
        DWORD bytes = sizeof(old_);
        had_ = ::RegGetValueW(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &type_, old_, &bytes) == ERROR_SUCCESS;
        oldBytes_ = bytes;
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(root, path, name, REG_SZ, value.c_str(),
                                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    }
    ~ScopedRegistryValue() {
        if (had_)
            ::RegSetKeyValueW(root_, path_, name_, type_, old_, oldBytes_);
        else
            ::RegDeleteKeyValueW(root_, path_, name_);
    }

private:
    HKEY root_;
    const wchar_t* path_;
    const wchar_t* name_;
    bool had_ = false;
    DWORD type_ = REG_NONE;
    BYTE old_[2 * MAX_PATH * sizeof(wchar_t)] = {};
    DWORD oldBytes_ = 0;
};

// A last-write time long settled, give or take a few seconds.
FILETIME YearsAgoPlus(int seconds) { return FILETIME{static_cast<DWORD>(seconds) * 10'000'000u, 30'000'000}; }

WIN32_FILE_ATTRIBUTE_DATA Listed(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    return data;
}

// A file's or a folder's.
void SetWritten(const std::wstring& path, const FILETIME& written) {
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &written));
    ::CloseHandle(file);
}

class ShortcutScanTest : public ::testing::Test {
protected:
    void SetUp() override { mv::test::WriteFileBytes(client_, "MZ"); }

    bool Find(long id, long source) { return FindPlaylistShortcut(id, client_, source); }

    // Writes a.lnk again with the same size, then sets its last-write time.
    void Rewrite(const std::wstring& arguments, const FILETIME& written) {
        const DWORD size = Listed(a_).nFileSizeLow;
        desktop_.Add(L"a.lnk", client_, arguments);
        EXPECT_EQ(size, Listed(a_).nFileSizeLow);
        SetWritten(a_, written);
    }

    mv::test::ComApartment apartment_;
    ScopedTempDir clientDir_{L"Mivo Client"};
    std::wstring client_ = clientDir_.Child(L"MVPlayer.exe");
    DesktopShortcuts desktop_;
    const std::wstring a_ = desktop_.dir() + L"\\a.lnk";
};

TEST_F(ShortcutScanTest, EachSourceRequiresItsOwnLaunchKey) {
    desktop_.Add(L"url.lnk", client_, L"\\UrlQuickLunch=x,123");
    EXPECT_TRUE(Find(123, 1));
    EXPECT_FALSE(Find(123, 0)) << "\\QuickLunch= does not occur in \\UrlQuickLunch=";
    EXPECT_FALSE(Find(123, 2)) << "key and separator of source 2 absent";
    EXPECT_TRUE(Find(123, 5)) << "no key required outside the range";
    EXPECT_TRUE(Find(123, -1));
    EXPECT_FALSE(Find(124, 1));
}

TEST_F(ShortcutScanTest, WholeNetworkSourceUsesTheHashSeparator) {
    desktop_.Add(L"net.lnk", client_, L"\\WholeNetworkQuickLunch=a,b#;#77");
    EXPECT_TRUE(Find(77, 2));
    EXPECT_FALSE(Find(77, 0)) << "key missing";
    EXPECT_FALSE(Find(77, 5)) << "after the last comma stands b#;#77, which reads as 0";
    EXPECT_TRUE(Find(0, 5));
}

TEST_F(ShortcutScanTest, WholeNetworkKeyWithoutHashSeparatorNeverMatches) {
    desktop_.Add(L"net.lnk", client_, L"\\WholeNetworkQuickLunch=a,77");
    EXPECT_FALSE(Find(77, 2));
    EXPECT_FALSE(Find(0, 2));
}

TEST_F(ShortcutScanTest, TheLastCommaWinsAndPlaylistZeroMatchesIdsWithoutDigits) {
    desktop_.Add(L"quick.lnk", client_, L"\\QuickLunch=5,6,7");
    EXPECT_TRUE(Find(7, 0));
    EXPECT_FALSE(Find(6, 0));
    EXPECT_FALSE(Find(5, 0));
    EXPECT_FALSE(Find(0, 0));

    desktop_.Add(L"noid.lnk", client_, L"\\QuickLunch=5,abc");
    EXPECT_TRUE(Find(0, 0));
}

TEST(ShortcutIdTest, ConvertsLikeWcstolInBaseTen) {
    EXPECT_EQ(123, ParseId(L" 123"));
    EXPECT_EQ(123, ParseId(L"\t\n 123"));
    EXPECT_EQ(123, ParseId(L"123abc"));
    EXPECT_EQ(0, ParseId(L"abc"));
    EXPECT_EQ(0, ParseId(L""));
    EXPECT_EQ(0, ParseId(L"-"));
    EXPECT_EQ(5, ParseId(L"+5"));
    EXPECT_EQ(-7, ParseId(L"-7x"));
    EXPECT_EQ(0, ParseId(L"0x1F")) << "base 10 only";
    EXPECT_EQ(12, ParseId(L"012"));
    EXPECT_EQ(0, ParseId(L"- 5")) << "no blank after the sign";
    EXPECT_EQ(LONG_MAX, ParseId(L"2147483647"));
    EXPECT_EQ(LONG_MIN, ParseId(L"-2147483648"));
    EXPECT_EQ(LONG_MAX, ParseId(L"2147483648"));
    EXPECT_EQ(LONG_MIN, ParseId(L"-2147483649"));
    EXPECT_EQ(LONG_MAX, ParseId(L"99999999999999999999999999"));
    EXPECT_EQ(LONG_MIN, ParseId(L"-99999999999999999999999999"));
}

TEST_F(ShortcutScanTest, IdsBeyondTheRangeMatchTheNearestLimit) {
    desktop_.Add(L"big.lnk", client_, L"\\UrlQuickLunch=x,99999999999");
    EXPECT_TRUE(Find(LONG_MAX, 1));
    desktop_.Add(L"small.lnk", client_, L"\\UrlQuickLunch=x,-99999999999");
    EXPECT_TRUE(Find(LONG_MIN, 1));
}

TEST_F(ShortcutScanTest, TargetIsComparedAsAPrefixIgnoringAsciiCase) {
    std::wstring upper = client_;
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    desktop_.Add(L"upper.lnk", upper, L"\\UrlQuickLunch=,1");
    EXPECT_TRUE(Find(1, 1));

    const std::wstring longer = client_ + L".old";
    mv::test::WriteFileBytes(longer, "MZ");
    desktop_.Add(L"longer.lnk", longer, L"\\UrlQuickLunch=,2");
    EXPECT_TRUE(Find(2, 1)) << "target continuing past the client path";

    const std::wstring other = clientDir_.Child(L"Other.exe");
    mv::test::WriteFileBytes(other, "MZ");
    desktop_.Add(L"other.lnk", other, L"\\UrlQuickLunch=,3");
    EXPECT_FALSE(Find(3, 1)) << "another program's shortcut";
    EXPECT_TRUE(FindPlaylistShortcut(3, L"", 1)) << "an empty client path lets every target pass";
}

TEST(ShortcutTargetTest, CaseIsFoldedForAToZOnly) {
    using mv::shortcuts::StartsWithIgnoringAsciiCase;
    EXPECT_TRUE(StartsWithIgnoringAsciiCase(L"C:\\MIVO\\MVPLAYER.EXE", L"c:\\mivo\\mvplayer.exe"));
    EXPECT_TRUE(StartsWithIgnoringAsciiCase(L"C:\\Mivo\\MVPlayer.exe -x", L"C:\\Mivo\\MVPlayer.exe"));
    EXPECT_FALSE(StartsWithIgnoringAsciiCase(L"C:\\\u00C9t\u00E9\\MVPlayer.exe", L"C:\\\u00E9t\u00E9\\MVPlayer.exe"));
    EXPECT_FALSE(StartsWithIgnoringAsciiCase(L"C:\\Mivo", L"C:\\Mivo\\MVPlayer.exe")) << "shorter target";
    EXPECT_FALSE(StartsWithIgnoringAsciiCase(L"C:[", L"C:{")) << "no folding outside the letters";
}

TEST_F(ShortcutScanTest, OnlyDesktopEntriesWithLowerCaseLnkAreRead) {
    desktop_.Add(L"upper.LNK", client_, L"\\UrlQuickLunch=,10");
    EXPECT_FALSE(Find(10, 1)) << ".LNK is never read";

    desktop_.Add(L"kept.lnk.bak", client_, L"\\UrlQuickLunch=,11");
    EXPECT_TRUE(Find(11, 1)) << ".lnk anywhere in the name";

    desktop_.Add(L"nested.lnk", client_, L"\\UrlQuickLunch=,12", L"Folder");
    EXPECT_FALSE(Find(12, 1)) << "subfolders are not scanned";

    const std::wstring hidden = desktop_.Add(L"hidden.lnk", client_, L"\\UrlQuickLunch=,13");
    ASSERT_TRUE(::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_TRUE(Find(13, 1)) << "hidden and system files are scanned";

    const std::wstring folder = desktop_.dir() + L"\\folder.lnk";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    desktop_.Track(folder);
    EXPECT_FALSE(Find(14, 1)) << "a directory named like a shortcut is skipped";
}

TEST_F(ShortcutScanTest, TheSharedDesktopIsNotScanned) {
    wchar_t common[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_DESKTOPDIRECTORY, TRUE));
    ASSERT_STRNE(common, desktop_.dir().c_str());
    const std::wstring path = std::wstring(common) + L"\\shared.lnk";
    mv::test::SaveShortcut(path, client_, L"\\UrlQuickLunch=,15");
    EXPECT_FALSE(Find(15, 1));
    ::DeleteFileW(path.c_str());
}

// What one scan kept never hides a change made before the next, whether the
// desktop folder itself changed lately or long ago (its handle is then kept).
TEST_F(ShortcutScanTest, ChangesBetweenScansShowAtOnce) {
    const std::wstring url = L"\\UrlQuickLunch=x,";
    const struct {
        const char* what;
        bool settled;  // the first write is old enough to be kept
        std::function<void()> make;
        bool finds1111, finds2222;
    } changes[] = {
        {"rewritten, same size", true, [&] { Rewrite(url + L"2222", YearsAgoPlus(1)); }, false, true},
        {"rewritten, same size and time", false, [&] { Rewrite(url + L"2222", Listed(a_).ftLastWriteTime); },
         false, true},
        {"renamed", true, [&] { ::MoveFileW(a_.c_str(), (desktop_.dir() + L"\\a.url").c_str()); }, false, false},
        {"deleted", true, [&] { ::DeleteFileW(a_.c_str()); }, false, false},
        {"joined", true, [&] { desktop_.Add(L"b.lnk", client_, url + L"2222"); }, true, true},
    };
    for (const auto& change : changes) for (const bool settledFolder : {false, true}) {
        SCOPED_TRACE(std::string(change.what) + (settledFolder ? ", folder settled" : ""));
        mv::shortcuts::ShortcutFactCache known;
        desktop_.Add(L"a.lnk", client_, url + L"1111");
        if (change.settled) SetWritten(a_, YearsAgoPlus(0));
        if (settledFolder) SetWritten(desktop_.dir(), YearsAgoPlus(0));
        ASSERT_TRUE(FindPlaylistShortcut(1111, client_, 1, known));
        ASSERT_EQ(change.settled ? 1u : 0u, known.size());
        change.make();
        EXPECT_EQ(change.finds1111, FindPlaylistShortcut(1111, client_, 1, known));
        EXPECT_EQ(change.finds2222, FindPlaylistShortcut(2222, client_, 1, known));
        for (const wchar_t* name : {L"\\a.lnk", L"\\a.url", L"\\b.lnk"}) ::DeleteFileW((desktop_.dir() + name).c_str());
    }
}

// Facts are kept, not answers: a scan for another client reads no arguments,
// and the next one for ours must still find them.
TEST_F(ShortcutScanTest, KeptFactsAnswerForEveryClientPathAndSource) {
    mv::shortcuts::ShortcutFactCache known;
    desktop_.Add(L"a.lnk", client_, L"\\UrlQuickLunch=x,1111");
    SetWritten(a_, YearsAgoPlus(0));
    const struct {
        std::wstring client;
        long source;
        bool found;
    } asks[] = {{L"C:\\Other.exe", 1, false}, {client_, 1, true}, {client_, 0, false},
                {client_, 5, true}, {L"", 1, true}, {clientDir_.path(), 2, false}};
    for (const auto& ask : asks)
        EXPECT_EQ(ask.found, FindPlaylistShortcut(1111, ask.client, ask.source, known)) << ask.source;
    EXPECT_EQ(1u, known.size());
}

// The shell is asked again when its settings move the desktop, and when the
// folder is gone (it makes the folder again).
TEST_F(ShortcutScanTest, TheDesktopIsFollowedWhereverItIs) {
    desktop_.Add(L"a.lnk", client_, L"\\UrlQuickLunch=x,1111");
    SetWritten(desktop_.dir(), YearsAgoPlus(0));
    ASSERT_TRUE(Find(1111, 1));
    ASSERT_TRUE(Find(1111, 1));
    {
        ScopedTempDir elsewhere(L"Elsewhere");
        mv::test::SaveShortcut(elsewhere.Child(L"b.lnk"), client_, L"\\UrlQuickLunch=x,2222");
        ScopedRegistryValue moved(HKEY_CURRENT_USER, kUserShellFolders, L"Desktop", elsewhere.path());
        EXPECT_FALSE(Find(1111, 1));
        EXPECT_TRUE(Find(2222, 1));
    }
    EXPECT_TRUE(Find(1111, 1));
    EXPECT_FALSE(Find(2222, 1));

    mv::test::RemoveTree(desktop_.dir());
    EXPECT_FALSE(Find(1111, 1));
    EXPECT_TRUE(mv::test::FileExists(desktop_.dir()));
}

// One thread walks the kept handle while the others list on their own.
TEST_F(ShortcutScanTest, ScansOnSeveralThreadsAtOnceAgree) {
    desktop_.Add(L"a.lnk", client_, L"\\UrlQuickLunch=x,1111");
    SetWritten(desktop_.dir(), YearsAgoPlus(0));
    std::atomic<int> wrong{0};
    const auto scans = [&] {
        mv::test::ComApartment apartment;
        for (int i = 0; i < 30; ++i) wrong += !Find(1111, 1) + Find(2222, 1);
    };
    std::thread first(scans), second(scans), third(scans);
    first.join();
    second.join();
    third.join();
    EXPECT_EQ(0, wrong);
}

TEST(ShortcutFactCacheTest, StaysBoundedAndForgetsAFolderLeft) {
    const auto settled = [](const std::wstring& name) {
        WIN32_FIND_DATAW entry{};
        wcscpy(entry.cFileName, name.c_str());
        entry.ftLastWriteTime = entry.ftCreationTime = YearsAgoPlus(0);
        return entry;
    };
    mv::shortcuts::ShortcutFactCache known;
    const std::wstring longest(259, L'x');
    const auto scan = known.BeginScan(L"C:\\Desktop");
    for (int i = 0; i < 10'000; ++i) known.Remember(scan, settled(std::to_wstring(i)), {longest, longest, true});
    EXPECT_GT(known.size(), 0u);
    EXPECT_LE(known.size() * longest.size() * 2 * sizeof(wchar_t), known.kMaxBytes);

    known.Remember(known.BeginScan(L"D:\\Desktop"), settled(L"1"), {L"D", L"", false});
    known.Remember(scan, settled(L"2"), {L"C", L"", false});
    mv::shortcuts::ShortcutFacts facts;
    EXPECT_FALSE(known.Recall(known.BeginScan(L"D:\\Desktop"), settled(L"2"), facts)) << "kept by a scan of C:";
    EXPECT_FALSE(known.Recall(known.BeginScan(L"C:\\Desktop"), settled(L"1"), facts)) << "kept for D:";
}

TEST_F(ShortcutScanTest, WithoutACOMApartmentTheAnswerIsNo) {
    desktop_.Add(L"url.lnk", client_, L"\\UrlQuickLunch=x,123");
    ASSERT_TRUE(Find(123, 1));
    bool found = true;
    std::thread bare([&] { found = FindPlaylistShortcut(123, client_, 1); });
    bare.join();
    EXPECT_FALSE(found);
}

TEST_F(ShortcutScanTest, ControlAnswersAlikeForBothShortcutMethods) {
    mv::test::ScopedRegistryKey user(HKEY_CURRENT_USER, L"Software\\MIVO\\MiVoVA");
    user.SetString(L"Path", clientDir_.path());
    desktop_.Add(L"a.lnk", client_, L"\\UrlQuickLunch=x,123");
    desktop_.Add(L"b.lnk", client_, L"\\QuickLunch=x,456");
    desktop_.Add(L"c.lnk", client_, L"\\WholeNetworkQuickLunch=x#;#789");

    mv::com::CComObject<mv::control::CMVDetector>* object = nullptr;
    ASSERT_EQ(S_OK, mv::com::CComObject<mv::control::CMVDetector>::CreateInstance(&object));
    IMVDetectorCOM* detector = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IMVDetectorCOM, reinterpret_cast<void**>(&detector)));
    for (long id : {123L, 456L, 789L, 0L, -1L}) {
        VARIANT_BOOL plain = 0x1234, ex = 0x1234;
        EXPECT_EQ(S_OK, detector->IsShortcutCreated(id, &plain));
        EXPECT_EQ(S_OK, detector->IsShortcutCreatedEx(id, 1, &ex));
        EXPECT_EQ(plain, ex) << id;
        EXPECT_EQ(id == 123 ? VARIANT_TRUE : VARIANT_FALSE, plain) << id;
    }
    VARIANT_BOOL found = 0x1234;
    EXPECT_EQ(S_OK, detector->IsShortcutCreatedEx(456, 0, &found));
    EXPECT_EQ(VARIANT_TRUE, found);
    EXPECT_EQ(S_OK, detector->IsShortcutCreatedEx(789, 2, &found));
    EXPECT_EQ(VARIANT_TRUE, found);
    detector->Release();
}

}  // namespace
