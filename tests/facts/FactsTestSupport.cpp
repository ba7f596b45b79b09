#include "FactsTestSupport.h"

#include <oleauto.h>

#include "com/ComObject.h"
#include "control/MVDetector.h"
#include "facts/ClientFacts.h"
#include "facts/ClientVersionProbe.h"

namespace mv::test {

namespace {

// Dispatch by name needs the type library registered, as the control's own
// registration would leave it; the prefix is the test's, and it is removed
// again at the end.
class RegisteredTypeLib : public ::testing::Environment {
public:
    void SetUp() override {
        ITypeLib* library = nullptr;
        ASSERT_EQ(S_OK, ::LoadTypeLibEx(ControlDllPath().c_str(), REGKIND_NONE, &library));
        TLIBATTR* attr = nullptr;
        ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
        lcid_ = attr->lcid;
        library->ReleaseTLibAttr(attr);
        std::wstring path = ControlDllPath();
        EXPECT_EQ(S_OK, ::RegisterTypeLib(library, path.data(), nullptr));
        library->Release();
    }
    void TearDown() override { ::UnRegisterTypeLib(LIBID_MVDetectorAXLib, 1, 0, lcid_, mv::test::kBuildSysKind); }

private:
    LCID lcid_ = 0;
};

[[maybe_unused]] ::testing::Environment* const kTypeLib = ::testing::AddGlobalTestEnvironment(new RegisteredTypeLib);

}  // namespace

HRESULT CallByName(IDispatch* object, const wchar_t* name, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result, nullptr, nullptr);
}

win::unique_module LoadControlCopy(const std::wstring& directory) {
    const std::wstring copy = directory + L"\\" + kControlFile;
    EXPECT_TRUE(::CopyFileW(ControlDllPath().c_str(), copy.c_str(), FALSE)) << "copy to " << copy.size() << " units";
    win::unique_module module(::LoadLibraryW(copy.c_str()));
    EXPECT_TRUE(module) << "load error " << ::GetLastError();
    return module;
}

std::wstring VersionDllPath(const std::wstring& name) {
    return BuildDir() + L"\\tests\\fixtures\\version_dlls\\version-" + name + L".dll";
}

void ControlDirTest::SetUp() {
    controlDir_ = MakeControlDirectory();
    control_ = LoadControlCopy(controlDir_);
    ASSERT_TRUE(control_);
    com::CComObject<control::CMVDetector>* object = nullptr;
    ASSERT_EQ(S_OK, com::CComObject<control::CMVDetector>::CreateInstance(&object));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IMVDetectorCOM, reinterpret_cast<void**>(&detector_)));
}

void ControlDirTest::TearDown() {
    if (detector_) detector_->Release();
    detector_ = nullptr;
    control_.reset();
}

void ControlDirTest::PlaceVersionDll(const std::wstring& name) const {
    const std::wstring source = VersionDllPath(name);
    ASSERT_TRUE(FileExists(source)) << "fixture missing: " << source;
    ASSERT_TRUE(::CopyFileW(source.c_str(), (controlDir_ + L"\\MVVersion.dll").c_str(), FALSE));
}

void ControlDirTest::WriteConfig(const std::string& text) const { WriteFileBytes(controlDir_ + L"\\mivo.cfg", text); }

void ControlDirTest::ExpectNumber(NumberMethod method, const wchar_t* name, ULONG expected, ULONG mask) {
    ULONG number = kUlongSentinel;
    EXPECT_EQ(S_OK, (detector_->*method)(&number));
    EXPECT_EQ(expected, number);
    ScopedVariant byName;
    ASSERT_EQ(S_OK, CallByName(detector_, name, byName.Receive()));
    ASSERT_EQ(VT_UI4, V_VT(&byName.get()));
    EXPECT_EQ(expected & mask, V_UI4(&byName.get()) & mask);
}

void ControlDirTest::ExpectVersion(ULONG packed, bool supported) {
    EXPECT_EQ(packed, facts::ClientVersionProbe());
    ExpectNumber(&IMVDetectorCOM::GetMivoVAVersion, L"GetMivoVAVersion", packed);

    const VARIANT_BOOL expected = supported ? VARIANT_TRUE : VARIANT_FALSE;
    VARIANT_BOOL answer = kBoolSentinel;
    EXPECT_EQ(S_OK, detector_->IsSupportDownload(&answer));
    EXPECT_EQ(expected, answer);
    ScopedVariant byName;
    ASSERT_EQ(S_OK, CallByName(detector_, L"IsSupportDownload", byName.Receive()));
    ASSERT_EQ(VT_BOOL, V_VT(&byName.get()));
    EXPECT_EQ(expected, V_BOOL(&byName.get()));
}

void ControlDirTest::ExpectChannel(ULONG channel) {
    EXPECT_EQ(channel, facts::ReadChannelNum());
    ExpectNumber(&IMVDetectorCOM::GetChannelNum, L"GetChannelNum", channel);
}

}  // namespace mv::test
