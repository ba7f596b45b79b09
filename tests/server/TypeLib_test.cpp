// The type library the DLL carries: what script engines learn about the
// control comes from here, so names, order and DISPIDs must be exact.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MVDetectorAX_h.h"
#include "TestSupport.h"
#include "win/ScopedBstr.h"

namespace {

using mv::win::ScopedBstr;

struct Method {
    const wchar_t* name;
    std::vector<const wchar_t*> params;
    std::vector<USHORT> flags;  // PARAMFLAG_* of each parameter
    bool gbkHelp;               // help string "方法" + name, else "method " + name
};

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOutRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

const std::vector<Method>& Methods() {
    static const std::vector<Method> methods = {
        {L"IsMiVoVAReady", {L"ready"}, {kOutRetval}, true},
        {L"StartMiVoVA", {}, {}, true},
        {L"IsInstalled", {L"installed"}, {kOutRetval}, true},
        {L"IsSupportDownload", {L"supported"}, {kOutRetval}, true},
        {L"DownLoad", {L"pid", L"vid", L"playlistid"}, {kIn, kIn, kIn}, true},
        {L"ShowDetailPage", {L"url"}, {kIn}, true},
        {L"GetMivoVAVersion", {L"dwVersion"}, {kOutRetval}, false},
        {L"OnlinePlay", {L"url"}, {kIn}, true},
        {L"RunMivoPlayer", {L"url"}, {kIn}, true},
        {L"GetFirstInstallTime", {L"time"}, {kOutRetval}, false},
        {L"GetUserId", {L"userId"}, {kOutRetval}, false},
        {L"IsShortcutCreated", {L"playlistid", L"created"}, {kIn, kOutRetval}, true},
        {L"GetValue", {L"key", L"val"}, {kIn, kOutRetval}, false},
        {L"SetValue", {L"key", L"val"}, {kIn, kIn}, false},
        {L"IsShortcutCreatedEx", {L"playlistid", L"eSrc", L"created"}, {kIn, kIn, kOutRetval}, true},
        {L"GetChannelNum", {L"ChannelNum"}, {kOutRetval}, false},
        {L"IsEnableCreateShortcut", {L"cid", L"Isable"}, {kIn, kOutRetval}, false},
        {L"GetInstallTime", {L"time"}, {kOutRetval}, false},
    };
    return methods;
}

const std::string kGbkFangFa = "\xB7\xBD\xB7\xA8";  // "方法" in code page 936

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// Type library strings are kept as bytes and read back through the ANSI code
// page; turning them back gives the stored bytes.
std::string StoredBytes(BSTR text) {
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) ::WideCharToMultiByte(CP_ACP, 0, text, -1, bytes.data(), n, nullptr, nullptr);
    return bytes;
}

class TypeLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, ::LoadTypeLibEx(mv::test::ControlDllPath().c_str(), REGKIND_NONE, &library_));
    }
    void TearDown() override {
        if (library_) library_->Release();
    }
    ITypeLib* library_ = nullptr;
};

TEST_F(TypeLibTest, LibraryIdentity) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, library_->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(LIBID_MVDetectorAXLib, attr->guid));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0u, attr->lcid) << "locale neutral";
    EXPECT_EQ(mv::test::kBuildSysKind, attr->syskind);
    library_->ReleaseTLibAttr(attr);

    ScopedBstr name, help;
    ASSERT_EQ(S_OK, library_->GetDocumentation(-1, name.Receive(), help.Receive(), nullptr, nullptr));
    EXPECT_STREQ(L"MVDetectorAXLib", name.Get());
    EXPECT_STREQ(L"MVDetectorAX 1.0 Type Library", help.Get());
}

TEST_F(TypeLibTest, CoclassHasTheInterfaceAsItsDefault) {
    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(S_OK, library_->GetTypeInfoOfGuid(CLSID_MVDetectorCOM, &coclass));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(1, attr->cImplTypes);
    coclass->ReleaseTypeAttr(attr);

    INT implFlags = 0;
    EXPECT_EQ(S_OK, coclass->GetImplTypeFlags(0, &implFlags));
    EXPECT_TRUE(implFlags & IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ITypeInfo* face = nullptr;
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &ref));
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, &face));
    ASSERT_EQ(S_OK, face->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(IID_IMVDetectorCOM, attr->guid));
    face->ReleaseTypeAttr(attr);
    face->Release();

    ScopedBstr help;
    ASSERT_EQ(S_OK, coclass->GetDocumentation(MEMBERID_NIL, nullptr, help.Receive(), nullptr, nullptr));
    EXPECT_STREQ(L"MVDetectorCOM Class", help.Get());
    coclass->Release();
}

TEST_F(TypeLibTest, InterfaceIsDualWithEighteenMethodsInDispidAndVtableOrder) {
    ITypeInfo* dispatch = nullptr;
    ASSERT_EQ(S_OK, library_->GetTypeInfoOfGuid(IID_IMVDetectorCOM, &dispatch));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, dispatch->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE);
    dispatch->ReleaseTypeAttr(attr);

    ScopedBstr help;
    ASSERT_EQ(S_OK, dispatch->GetDocumentation(MEMBERID_NIL, nullptr, help.Receive(), nullptr, nullptr));
    EXPECT_STREQ(L"IMVDetectorCOM Interface", help.Get());

    // The vtable face of the dual interface.
    HREFTYPE ref = 0;
    ITypeInfo* face = nullptr;
    ASSERT_EQ(S_OK, dispatch->GetRefTypeOfImplType(-1, &ref));
    ASSERT_EQ(S_OK, dispatch->GetRefTypeInfo(ref, &face));
    ASSERT_EQ(S_OK, face->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    ASSERT_EQ(18, attr->cFuncs);
    face->ReleaseTypeAttr(attr);

    for (UINT i = 0; i < Methods().size(); ++i) {
        const Method& expected = Methods()[i];
        SCOPED_TRACE(expected.name);
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(S_OK, face->GetFuncDesc(i, &desc));
        EXPECT_EQ(static_cast<MEMBERID>(i + 1), desc->memid) << "DISPIDs 1 to 18 in order";
        EXPECT_EQ(static_cast<SHORT>((7 + i) * sizeof(void*)), desc->oVft) << "slot after Invoke";
        EXPECT_EQ(INVOKE_FUNC, desc->invkind);
        EXPECT_EQ(VT_HRESULT, desc->elemdescFunc.tdesc.vt);
        ASSERT_EQ(static_cast<SHORT>(expected.params.size()), desc->cParams);

        std::vector<BSTR> names(expected.params.size() + 1, nullptr);
        UINT got = 0;
        ASSERT_EQ(S_OK, face->GetNames(desc->memid, names.data(), static_cast<UINT>(names.size()), &got));
        ASSERT_EQ(names.size(), got);
        EXPECT_STREQ(expected.name, names[0]);
        for (size_t p = 0; p < expected.params.size(); ++p) {
            EXPECT_STREQ(expected.params[p], names[p + 1]);
            EXPECT_EQ(expected.flags[p], desc->lprgelemdescParam[p].paramdesc.wParamFlags & (kIn | kOutRetval));
        }
        for (BSTR n : names) ::SysFreeString(n);

        ScopedBstr doc;
        ASSERT_EQ(S_OK, face->GetDocumentation(desc->memid, nullptr, doc.Receive(), nullptr, nullptr));
        const std::string wanted = (expected.gbkHelp ? kGbkFangFa : std::string("method ")) + Narrow(expected.name);
        EXPECT_EQ(wanted, StoredBytes(doc.Get()));
        face->ReleaseFuncDesc(desc);
    }
    face->Release();
    dispatch->Release();
}

TEST(TypeLibResourceTest, IsTypelibOneInUsEnglishWithGbkHelpBytes) {
    HMODULE dll = ::LoadLibraryExW(mv::test::ControlDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, dll);
    HRSRC info = ::FindResourceExW(dll, L"TYPELIB", MAKEINTRESOURCEW(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(nullptr, info);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(dll, info)));
    const std::string data(bytes, ::SizeofResource(dll, info));
    EXPECT_EQ(0u, data.find("MSFT")) << "an MSFT type library";
    EXPECT_NE(std::string::npos, data.find(kGbkFangFa + "IsShortcutCreatedEx"));
    ::FreeLibrary(dll);
}

}  // namespace
