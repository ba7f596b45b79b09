// The client version: the file version of MVVersion.dll beside the control,
// packed one byte a part, and the download threshold compared against it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FactsTestSupport.h"
#include "win/SystemLibrary.h"

namespace {

using mv::test::ControlDirTest;

using VersionTest = ControlDirTest;

struct VersionCase {
    const wchar_t* fixture;  // version-<fixture>.dll placed as MVVersion.dll; null: no file
    ULONG packed;
    bool supported;
    const char* label;
};

class PackedVersionTest : public VersionTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(PackedVersionTest, FileVersionPackedAndComparedWithTheThreshold) {
    const VersionCase& c = GetParam();
    if (c.fixture) PlaceVersionDll(c.fixture);
    ExpectVersion(c.packed, c.supported);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, PackedVersionTest,
    ::testing::Values(VersionCase{L"2.1.0.0", 0x02010000, true, "Threshold"},
                      VersionCase{L"2.0.255.255", 0x0200FFFF, false, "JustBelow"},
                      VersionCase{L"2.1.0.1", 0x02010001, true, "JustAbove"},
                      VersionCase{L"1.300.0.0", 0x012C0000, false, "MinorCutTo8Bits"},
                      // Uncut, the build part would spill into the minor one
                      // and lift the version over the threshold.
                      VersionCase{L"2.0.300.1", 0x02002C01, false, "BuildCutTo8Bits"},
                      VersionCase{L"258.1.0.0", 0x02010000, true, "MajorCutTo8Bits"},
                      VersionCase{L"255.255.255.255", 0xFFFFFFFF, true, "AllOnesComparedUnsigned"},
                      VersionCase{L"none", 0, false, "NoVersionResource"},
                      VersionCase{nullptr, 0, false, "NoFile"}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.label); });

TEST_F(VersionTest, EveryCallReadsTheFileAfresh) {
    PlaceVersionDll(L"2.0.255.255");
    ExpectVersion(0x0200FFFF, false);
    PlaceVersionDll(L"2.1.0.0");
    ExpectVersion(0x02010000, true);
    ASSERT_TRUE(::DeleteFileW(dir_.Child(L"MVVersion.dll").c_str()));
    ExpectVersion(0, false);
}

TEST_F(VersionTest, ANameThatIsNoVersionedFileGivesZero) {
    ASSERT_TRUE(::CreateDirectoryW(dir_.Child(L"MVVersion.dll").c_str(), nullptr));
    ExpectVersion(0, false);
    ASSERT_TRUE(::RemoveDirectoryW(dir_.Child(L"MVVersion.dll").c_str()));

    mv::test::WriteFileBytes(dir_.Child(L"MVVersion.dll"), "MZ not really a module");
    ExpectVersion(0, false);
}

TEST_F(VersionTest, OnlyTheFileBesideTheControlCounts) {
    mv::test::ScopedTempDir clientDir(L"client");
    mv::test::WriteFileBytes(clientDir.Child(L"MVPlayer.exe"), "MZ");
    ASSERT_TRUE(::CopyFileW(mv::test::VersionDllPath(L"2.1.0.0").c_str(), clientDir.Child(L"MVVersion.dll").c_str(),
                            FALSE));
    user_.SetString(L"Path", clientDir.path());
    ExpectVersion(0, false);
}

// Where the loader refuses the search flag (Windows 7 without its update),
// the system folder's copy is loaded by its full path instead.
TEST(SystemLibraryTest, TheFallbackLoadsTheSystemFoldersCopy) {
    const HMODULE searched = mv::win::LoadSystemLibrary(L"version.dll");
    ASSERT_NE(nullptr, searched);
    EXPECT_EQ(searched, mv::win::LoadFromSystemFolder(L"version.dll"));
    EXPECT_EQ(nullptr, mv::win::LoadFromSystemFolder(L"mivo-no-such.dll"));
}

// The control's own path passes the platform's path limit, so its directory
// cannot be named. The facts must then not be looked for at the root of the
// current drive, where an empty directory plus a file name points.
class LongControlDirTest : public ControlDirTest {
protected:
    std::wstring MakeControlDirectory() override {
        std::wstring dir = L"\\\\?\\" + dir_.path();
        while (dir.size() < 300) {
            dir += L"\\" + std::wstring(60, static_cast<wchar_t>(L'a' + dir.size() % 26));
            EXPECT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
        }
        return dir;
    }
    void TearDown() override {
        ControlDirTest::TearDown();
        mv::test::RemoveTree(L"\\\\?\\" + dir_.path());
    }
};

// Files a test puts at the root of the current drive, and the current
// directory it moves there; both undone on every way out.
class AtDriveRoot {
public:
    explicit AtDriveRoot(const std::wstring& directory) {
        ::GetCurrentDirectoryW(MAX_PATH, previous_);
        EXPECT_TRUE(::SetCurrentDirectoryW(directory.c_str()));
        root_ = directory.substr(0, 3);
    }
    ~AtDriveRoot() {
        for (const auto& name : placed_) ::DeleteFileW(name.c_str());
        ::SetCurrentDirectoryW(previous_);
    }
    std::wstring Place(const std::wstring& name) {
        placed_.push_back(root_ + name);
        return placed_.back();
    }

private:
    wchar_t previous_[MAX_PATH] = {};
    std::wstring root_;
    std::vector<std::wstring> placed_;
};

TEST_F(LongControlDirTest, GivesNoVersionAndTheDefaultChannel) {
    ASSERT_GT(controlDir_.size() - 4 + std::wstring(L"\\").size() + std::wstring(mv::test::kControlFile).size(), size_t{MAX_PATH});
    PlaceVersionDll(L"2.1.0.0");
    WriteConfig("[channel]\r\nnum=2050\r\n");

    AtDriveRoot root(dir_.path());
    ASSERT_TRUE(::CopyFileW(mv::test::VersionDllPath(L"2.1.0.0").c_str(), root.Place(L"MVVersion.dll").c_str(), FALSE));
    mv::test::WriteFileBytes(root.Place(L"mivo.cfg"), "[channel]\r\nnum=2050\r\n");

    ExpectVersion(0, false);
    ExpectChannel(1011);
}

}  // namespace
