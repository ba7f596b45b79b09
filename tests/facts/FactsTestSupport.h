#pragma once
// A control directory of the test's own: a copy of the built control loaded
// from a fresh folder makes that folder the control directory of the code
// linked into this program. Plus the script's road: members called by name.
#include <windows.h>
#include <oaidl.h>

#include <gtest/gtest.h>

#include <string>

#include "MVDetectorAX_h.h"
#include "TestSupport.h"
#include "win/UniqueHandle.h"

namespace mv::test {

inline constexpr ULONG kUlongSentinel = 0xDEADBEEF;
inline constexpr VARIANT_BOOL kBoolSentinel = 0x1234;

// A VARIANT owned by a test.
class ScopedVariant {
public:
    ScopedVariant() noexcept { ::VariantInit(&value_); }
    ~ScopedVariant() { ::VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    VARIANT* Receive() noexcept {
        ::VariantClear(&value_);
        return &value_;
    }
    const VARIANT& get() const noexcept { return value_; }

private:
    VARIANT value_;
};

// Resolves `name` and invokes it as a method without arguments, as a script
// engine does.
HRESULT CallByName(IDispatch* object, const wchar_t* name, VARIANT* result);

// Copies the built control to `directory`\kControlFile and loads it; the
// directory may carry the \\?\ prefix. Unloaded when destroyed.
win::unique_module LoadControlCopy(const std::wstring& directory);

// A test fixture file: build\tests\fixtures\version_dlls\version-<name>.dll.
std::wstring VersionDllPath(const std::wstring& name);

// A fresh control directory with a control object in this process and a
// clean client registry key.
class ControlDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Where the control copy goes; dir_ unless a test needs another place.
    virtual std::wstring MakeControlDirectory() { return dir_.path(); }

    // Puts a fixture beside the control as MVVersion.dll, replacing any.
    void PlaceVersionDll(const std::wstring& name) const;
    void WriteConfig(const std::string& text) const;

    // A number through the interface, into the caller's sentinel, and by
    // name, where the dispatcher supplies its own variable: there only the
    // bits in `mask` are compared.
    using NumberMethod = HRESULT (STDMETHODCALLTYPE IMVDetectorCOM::*)(ULONG*);
    void ExpectNumber(NumberMethod method, const wchar_t* name, ULONG expected, ULONG mask = 0xFFFFFFFF);
    // Each fact read directly as well, which must agree.
    void ExpectVersion(ULONG packed, bool supported);
    void ExpectChannel(ULONG channel);

    ComApartment apartment_;
    ScopedRegistryKey user_{HKEY_CURRENT_USER, L"Software\\MIVO\\MiVoVA"};
    ScopedTempDir dir_{L"control"};
    std::wstring controlDir_;
    win::unique_module control_;
    IMVDetectorCOM* detector_ = nullptr;
};

}  // namespace mv::test
