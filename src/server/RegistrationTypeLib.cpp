#include "server/RegistrationTypeLib.h"

#include <oleauto.h>

#include <cwchar>
#include <memory>

#include "com/HResult.h"
#include "server/RegistrationScript.h"
#include "win/ScopedBstr.h"

namespace mv::server {

namespace {

using RegisterFn = HRESULT(WINAPI*)(ITypeLib*, LPOLESTR, LPOLESTR);
using UnregisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

struct ReleaseTypeLib {
    void operator()(ITypeLib* lib) const noexcept { lib->Release(); }
};
using TypeLibPtr = std::unique_ptr<ITypeLib, ReleaseTypeLib>;

// Older systems lack the per-user functions: they are looked up by name.
template <typename Fn>
Fn PerUserFunction(const char* name) noexcept {
    const HMODULE oleaut = ::GetModuleHandleW(L"OLEAUT32.DLL");
    if (!oleaut) return nullptr;
    return reinterpret_cast<Fn>(::GetProcAddress(oleaut, name));
}

HRESULT LoadModuleTypeLib(HINSTANCE module, std::wstring& path, TypeLibPtr& lib) {
    RETURN_IF_FAILED(ModuleFilePath(module, path));
    ITypeLib* raw = nullptr;
    RETURN_IF_FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &raw));
    lib.reset(raw);
    return S_OK;
}

HRESULT ModuleTypeLibAttributes(HINSTANCE module, TLIBATTR& attributes) {
    std::wstring path;
    TypeLibPtr lib;
    RETURN_IF_FAILED(LoadModuleTypeLib(module, path, lib));
    TLIBATTR* attr = nullptr;
    RETURN_IF_FAILED(lib->GetLibAttr(&attr));
    attributes = *attr;
    lib->ReleaseTLibAttr(attr);
    return S_OK;
}

}  // namespace

std::wstring HelpDirectoryOf(const wchar_t* helpFile) {
    if (!helpFile) return {};
    const wchar_t* end = helpFile;
    for (const wchar_t* p = helpFile; *p; p = ::CharNextW(p))
        if (*p == L'\\' || *p == L'/' || *p == L':') end = p + 1;
    return std::wstring(helpFile, end);
}

HRESULT RegisterTypeLibrary(HINSTANCE module, bool perUser) noexcept {
    return com::CatchReturn([&]() -> HRESULT {
        std::wstring path;
        TypeLibPtr lib;
        RETURN_IF_FAILED(LoadModuleTypeLib(module, path, lib));

        win::ScopedBstr helpFile;
        RETURN_IF_FAILED(lib->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.Receive()));
        std::wstring helpDir;
        if (helpFile.Get()) helpDir = HelpDirectoryOf(helpFile.Get());

        RegisterFn reg = perUser ? PerUserFunction<RegisterFn>("RegisterTypeLibForUser") : nullptr;
        if (!reg) reg = &::RegisterTypeLib;
        return reg(lib.get(), path.data(), helpFile.Get() ? helpDir.data() : nullptr);
    });
}

HRESULT UnregisterTypeLibrary(HINSTANCE module, bool perUser) noexcept {
    return com::CatchReturn([&]() -> HRESULT {
        TLIBATTR a{};
        RETURN_IF_FAILED(ModuleTypeLibAttributes(module, a));

        UnregisterFn unreg = perUser ? PerUserFunction<UnregisterFn>("UnRegisterTypeLibForUser") : nullptr;
        if (!unreg) unreg = &::UnRegisterTypeLib;
        return unreg(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
    });
}

HRESULT UnregisterTypeLibraryPlatform(HINSTANCE module) noexcept {
    return com::CatchReturn([&]() -> HRESULT {
        TLIBATTR a{};
        RETURN_IF_FAILED(ModuleTypeLibAttributes(module, a));
        wchar_t guid[40] = {};
        if (!::StringFromGUID2(a.guid, guid, 40)) return E_UNEXPECTED;
        wchar_t locale[96] = {};
        std::swprintf(locale, 96, L"TypeLib\\%ls\\%x.%x\\%lx", guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid);
        const std::wstring entry = std::wstring(locale) + (a.syskind == SYS_WIN64 ? L"\\win64" : L"\\win32");
        // Through the merged classes root, as the platform's own functions
        // go: the user's entry where there is one, else the machine's.
        const LSTATUS status = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, entry.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(status);
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, locale);  // fails while another platform's entry is in it
        return S_OK;
    });
}

}  // namespace mv::server
