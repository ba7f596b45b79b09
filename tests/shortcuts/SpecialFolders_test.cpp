// The per-user folders the control works in.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "shortcuts/SpecialFolders.h"

namespace {

using namespace mv::shortcuts;

TEST(SpecialFoldersTest, DesktopAndDocumentsAreTheUsersOwnWithoutTrailingSeparator) {
    std::wstring desktop = L"stale";
    EXPECT_NE(FALSE, GetDesktopFolderPath(desktop));
    wchar_t expected[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, expected, CSIDL_DESKTOPDIRECTORY, FALSE));
    EXPECT_EQ(std::wstring(expected), desktop);

    const std::wstring documents = GetPersonalFolderPath();
    ASSERT_FALSE(documents.empty());
    EXPECT_NE(L'\\', documents.back());
    EXPECT_TRUE(mv::test::FileExists(documents));
}

class ProductFolderTest : public ::testing::Test {
protected:
    void SetUp() override { mv::test::RemoveTree(folder_); }
    void TearDown() override { mv::test::RemoveTree(folder_); }
    std::wstring folder_ = GetPersonalFolderPath() + L"\\Mivo\u5F71\u97F3";
};

TEST_F(ProductFolderTest, IsCreatedOnceUnderDocuments) {
    ASSERT_FALSE(mv::test::FileExists(folder_));
    EXPECT_EQ(folder_, GetProductDataFolder());
    const DWORD attributes = ::GetFileAttributesW(folder_.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    // A second call finds it and leaves what is inside alone.
    mv::test::WriteFileBytes(folder_ + L"\\keep", "x");
    EXPECT_EQ(folder_, GetProductDataFolder());
    EXPECT_EQ("x", mv::test::ReadFileBytes(folder_ + L"\\keep"));
}

TEST_F(ProductFolderTest, APlainFileOfThatNameIsTakenAsItIs) {
    mv::test::WriteFileBytes(folder_, "not a folder");
    EXPECT_EQ(folder_, GetProductDataFolder());
    const DWORD attributes = ::GetFileAttributesW(folder_.c_str());
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ("not a folder", mv::test::ReadFileBytes(folder_));
}

}  // namespace
