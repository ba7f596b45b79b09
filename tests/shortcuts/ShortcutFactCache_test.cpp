// What the scan keeps between calls, and when it lets go of it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shortcuts/ShortcutFactCache.h"

namespace {

using mv::shortcuts::ShortcutFactCache;
using mv::shortcuts::ShortcutFacts;

constexpr uint64_t kLongAgo = 130'000'000'000'000'000ull;  // 2012

FILETIME Time(uint64_t ticks) { return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

WIN32_FIND_DATAW Entry(const wchar_t* name, DWORD size = 1000, uint64_t written = kLongAgo,
                       uint64_t created = kLongAgo) {
    WIN32_FIND_DATAW entry{};
    wcscpy(entry.cFileName, name);
    entry.nFileSizeLow = size;
    entry.ftLastWriteTime = Time(written);
    entry.ftCreationTime = Time(created);
    return entry;
}

const ShortcutFacts kFacts{L"C:\\Mivo\\MVPlayer.exe", L"\\UrlQuickLunch=x,1", true};

TEST(ShortcutFactCacheTest, RecallsOnlyAFileListedExactlyAsWhenKept) {
    const struct {
        const char* what;
        WIN32_FIND_DATAW listed;
        bool recalled;
    } rows[] = {
        {"unchanged", Entry(L"a.lnk"), true},
        {"another name", Entry(L"b.lnk"), false},
        {"another size", Entry(L"a.lnk", 1001), false},
        {"written later", Entry(L"a.lnk", 1000, kLongAgo + 1), false},
        {"made again", Entry(L"a.lnk", 1000, kLongAgo, kLongAgo + 1), false},
    };
    for (const auto& row : rows) {
        ShortcutFactCache known;
        known.Remember(known.BeginScan(L"C:\\Desktop"), Entry(L"a.lnk"), kFacts);
        ShortcutFacts facts;
        EXPECT_EQ(row.recalled, known.Recall(known.BeginScan(L"C:\\Desktop"), row.listed, facts)) << row.what;
        EXPECT_EQ(row.recalled ? kFacts.arguments : L"", facts.arguments) << row.what;
    }
}

TEST(ShortcutFactCacheTest, KeepsNoUnsettledFileAndNoOtherFoldersFile) {
    ShortcutFactCache known;
    ShortcutFacts facts;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t justNow = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    known.Remember(known.BeginScan(L"C:\\Desktop"), Entry(L"new.lnk", 1000, justNow - 10'000'000), kFacts);
    EXPECT_EQ(0u, known.size()) << "written a second ago";

    const auto before = known.BeginScan(L"C:\\Desktop");
    known.Remember(known.BeginScan(L"D:\\Desktop"), Entry(L"a.lnk"), kFacts);
    known.Remember(before, Entry(L"b.lnk"), kFacts);
    EXPECT_FALSE(known.Recall(known.BeginScan(L"D:\\Desktop"), Entry(L"b.lnk"), facts)) << "a scan of another folder";
    EXPECT_FALSE(known.Recall(known.BeginScan(L"C:\\Desktop"), Entry(L"a.lnk"), facts)) << "a switch forgets";
}

TEST(ShortcutFactCacheTest, StaysBoundedAndForgetsWhatACompleteScanNoLongerLists) {
    ShortcutFactCache known;
    const std::wstring longest(259, L'x');
    const ShortcutFacts big{longest, longest, true};
    auto scan = known.BeginScan(L"C:\\Desktop");
    for (int i = 0; i < 10'000; ++i) known.Remember(scan, Entry(std::to_wstring(i).c_str()), big);
    EXPECT_GT(known.size(), 0u);
    EXPECT_LE(known.size() * longest.size() * 2 * sizeof(wchar_t), ShortcutFactCache::kMaxBytes);

    scan = known.BeginScan(L"C:\\Desktop");
    ShortcutFacts facts;
    ASSERT_TRUE(known.Recall(scan, Entry(L"7"), facts));
    known.EndCompleteScan(scan);
    EXPECT_EQ(1u, known.size());
}

}  // namespace
