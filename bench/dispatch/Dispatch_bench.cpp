// Script-style calls (names resolved once, then Invoke) against the same
// methods called through the vtable, on the control loaded from its DLL.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwctype>
#include <functional>
#include <string>

#include "../BuildDir.h"
#include "MVDetectorAX_h.h"
#include "ProductNames.h"

namespace {

std::wstring ControlPath() { return mv::bench::BuildDir() + L"\\" MV_CONTROL_FILE_NAME; }

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Nanoseconds per call, the loop grown until one run lasts at least 0.2 s.
double NsPerCall(const std::function<void()>& call) {
    for (long count = 1000;; count *= 4) {
        const double start = Now();
        for (long i = 0; i < count; ++i) call();
        const double elapsed = Now() - start;
        if (elapsed >= 0.2) return elapsed * 1e9 / static_cast<double>(count);
    }
}

struct Method {
    const wchar_t* name;
    bool takesCid;
    std::function<void(IMVDetectorCOM*)> viaVtable;
};

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring path = ControlPath();
    ITypeLib* library = nullptr;
    if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library)) ||
        FAILED(::RegisterTypeLib(library, path.data(), nullptr))) {
        std::fprintf(stderr, "cannot register the type library of %ls\n", path.c_str());
        return 1;
    }
    library->Release();

    HMODULE dll = ::LoadLibraryW(path.c_str());
    auto getClassObject =
        dll ? reinterpret_cast<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(::GetProcAddress(dll, "DllGetClassObject"))
            : nullptr;
    IClassFactory* factory = nullptr;
    IMVDetectorCOM* object = nullptr;
    if (!getClassObject ||
        FAILED(getClassObject(CLSID_MVDetectorCOM, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_IMVDetectorCOM, reinterpret_cast<void**>(&object)))) {
        std::fprintf(stderr, "cannot create the control from %ls\n", path.c_str());
        return 1;
    }
    factory->Release();

    const Method methods[] = {
        {L"IsEnableCreateShortcut", true,
         [](IMVDetectorCOM* o) {
             VARIANT_BOOL b;
             o->IsEnableCreateShortcut(7, &b);
         }},
        {L"GetChannelNum", false,
         [](IMVDetectorCOM* o) {
             ULONG n;
             o->GetChannelNum(&n);
         }},
        {L"IsInstalled", false,
         [](IMVDetectorCOM* o) {
             VARIANT_BOOL b;
             o->IsInstalled(&b);
         }},
    };

    // "name ns": GetIDsOfNames in the exact case; "other case ns": the same
    // name in lower case, which the name cache does not answer.
    std::printf("%-24s %10s %12s %7s %9s %14s\n", "method", "vtable ns", "dispatch ns", "ratio", "name ns",
                "other case ns");
    int status = 0;
    for (const Method& m : methods) {
        auto* name = const_cast<LPOLESTR>(m.name);
        DISPID id = DISPID_UNKNOWN;
        if (FAILED(object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
            std::fprintf(stderr, "%ls does not resolve\n", m.name);
            status = 1;
            continue;
        }
        VARIANT arg;
        arg.vt = VT_I4;
        arg.lVal = 7;
        DISPPARAMS params{m.takesCid ? &arg : nullptr, nullptr, m.takesCid ? 1u : 0u, 0};
        const double vtable = NsPerCall([&] { m.viaVtable(object); });
        const double dispatch = NsPerCall([&] {
            VARIANT result;
            ::VariantInit(&result);
            object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
            ::VariantClear(&result);
        });
        const double names = NsPerCall([&] {
            DISPID again;
            object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &again);
        });
        std::wstring lower(m.name);
        for (auto& c : lower) c = static_cast<wchar_t>(::towlower(c));
        auto* lowerName = lower.data();
        const double otherCase = NsPerCall([&] {
            DISPID again;
            object->GetIDsOfNames(IID_NULL, &lowerName, 1, LOCALE_USER_DEFAULT, &again);
        });
        std::printf("%-24ls %10.0f %12.0f %7.1f %9.0f %14.0f\n", m.name, vtable, dispatch, dispatch / vtable, names,
                    otherCase);
    }

    object->Release();
    ::FreeLibrary(dll);
    ::UnRegisterTypeLib(LIBID_MVDetectorAXLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN32);
    ::CoUninitialize();
    return status;
}
