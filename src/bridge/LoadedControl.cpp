#include "bridge/LoadedControl.h"

#include <ocidl.h>

#include "bridge/BridgeError.h"
#include "bridge/OriginSite.h"
#include "com/HResult.h"
#include "ProductNames.h"

namespace mv::bridge {

namespace {

using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);

}  // namespace

HRESULT LoadedControl::Load(const std::wstring& dllPath, std::string& why) {
    control_.Reset();
    module_.reset();
    // By full path, and its own folder searched for what it loads: the
    // browser's working folder plays no part.
    module_.reset(::LoadLibraryExW(dllPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module_) {
        const DWORD error = ::GetLastError();
        why = MV_CONTROL_FILE_NAME " could not be loaded from the host's folder (error " + std::to_string(error) + ")";
        return HRESULT_FROM_WIN32(error);
    }
    const auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DllGetClassObject")));
    if (!getClassObject) {
        why = MV_CONTROL_FILE_NAME " has no DllGetClassObject";
        return E_NOINTERFACE;
    }
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_MVDetectorCOM, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
    if (SUCCEEDED(hr) && !factory) hr = E_POINTER;
    if (FAILED(hr)) {
        why = MV_CONTROL_FILE_NAME " gave no class object for the control (" + HResultText(hr) + ")";
        return hr;
    }
    hr = factory->CreateInstance(nullptr, IID_IMVDetectorCOM, reinterpret_cast<void**>(control_.GetAddressOf()));
    if (SUCCEEDED(hr) && !control_) hr = E_POINTER;
    if (FAILED(hr)) {
        why = "the control could not be created (" + HResultText(hr) + ")";
        return hr;
    }
    return S_OK;
}

void LoadedControl::ShowPage(const std::wstring& origin) {
    Microsoft::WRL::ComPtr<IObjectWithSite> withSite;
    if (FAILED(control_.As(&withSite))) return;
    // Should the site fail, the control keeps refusing: no page was shown.
    withSite->SetSite(MakeOriginSite(origin).Get());
}

}  // namespace mv::bridge
