// What the control's file carries besides code: its resources and the name
// of its export table.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace mv::test {
namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kChineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

class ModuleResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = ::LoadLibraryExW(ControlDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_);
    }
    void TearDown() override {
        if (module_) ::FreeLibrary(module_);
    }

    std::string Resource(const wchar_t* type, const wchar_t* name, WORD language) const {
        HRSRC found = ::FindResourceExW(module_, type, name, language);
        if (!found) return {};
        const void* data = ::LockResource(::LoadResource(module_, found));
        return std::string(static_cast<const char*>(data), ::SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

TEST_F(ModuleResourcesTest, RegistryScriptsAreThereInTheirLanguages) {
    const std::string appId = Resource(L"REGISTRY", MAKEINTRESOURCEW(101), kEnglishUs);
    const std::string cls = Resource(L"REGISTRY", MAKEINTRESOURCEW(102), kChineseSimplified);
    EXPECT_NE(std::string::npos, appId.find("'%APPID%' = s 'MVDetectorAX'"));
    EXPECT_NE(std::string::npos, cls.find("InprocServer32 = s '%MODULE%'"));
    EXPECT_TRUE(Resource(L"REGISTRY", MAKEINTRESOURCEW(102), kEnglishUs).empty());
}

TEST_F(ModuleResourcesTest, ProjectNameAndManifest) {
    wchar_t name[64] = {};
    EXPECT_EQ(12, ::LoadStringW(module_, 100, name, 64));
    EXPECT_STREQ(L"MVDetectorAX", name);
    EXPECT_FALSE(Resource(RT_STRING, MAKEINTRESOURCEW(100 / 16 + 1), kEnglishUs).empty());

    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(2), kEnglishUs);
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\""));
    EXPECT_EQ(std::string::npos, manifest.find("dependency"));
}

TEST_F(ModuleResourcesTest, TypeLibraryIsTheControlsOwn) {
    EXPECT_FALSE(Resource(L"TYPELIB", MAKEINTRESOURCEW(1), kEnglishUs).empty());
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, ::LoadTypeLibEx(ControlDllPath().c_str(), REGKIND_NONE, &lib));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    const GUID libid = {0x16F92EAE, 0xAD1B, 0x4847, {0xB6, 0xAB, 0x84, 0xB1, 0xBB, 0x58, 0x75, 0x6C}};
    EXPECT_TRUE(::IsEqualGUID(libid, attr->guid));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0u, attr->lcid);
    EXPECT_EQ(mv::test::kBuildSysKind, attr->syskind);
    lib->ReleaseTLibAttr(attr);
    BSTR doc = nullptr, helpFile = nullptr;
    ASSERT_EQ(S_OK, lib->GetDocumentation(-1, nullptr, &doc, nullptr, &helpFile));
    EXPECT_STREQ(L"MVDetectorAX 1.0 Type Library", doc);
    EXPECT_EQ(nullptr, helpFile);
    ::SysFreeString(doc);
    ::SysFreeString(helpFile);
    lib->Release();
}

TEST(ModuleVersion, IsOneZeroZeroOneWithItsNames) {
    const std::wstring path = ControlDllPath();
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_NE(0u, size);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwProductVersionLS);

    for (const wchar_t* field : {L"InternalName", L"OriginalFilename"}) {
        wchar_t* text = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
        ASSERT_TRUE(::VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) << field;
        EXPECT_STREQ(L"MVDetectorAX.dll", text) << field;
    }
}

TEST(ModuleExports, TableIsNamedForTheServer) {
    HMODULE module = ::LoadLibraryW(ControlDllPath().c_str());
    ASSERT_NE(nullptr, module);
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_STREQ("MVDetectorAX.DLL", reinterpret_cast<const char*>(base + exports->Name));
    for (const char* name : {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                             "DllInstall"})
        EXPECT_NE(nullptr, ::GetProcAddress(module, name)) << name;
    ::FreeLibrary(module);
}

}  // namespace
}  // namespace mv::test
