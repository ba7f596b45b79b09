#pragma once
// CMVDetector: the control object behind coclass MVDetectorCOM.
#include <windows.h>
#include <ocidl.h>

#include "MVDetectorAX_h.h"
#include "com/ComCoClass.h"
#include "com/ComObjectRoot.h"
#include "com/DispatchImpl.h"
#include "com/ObjectSafetyImpl.h"
#include "control/SiteGate.h"

namespace mv::control {

class ATL_NO_VTABLE CMVDetector
    : public com::CComObjectRootEx<com::CComSingleThreadModel>,
      public com::CComCoClass<CMVDetector, &CLSID_MVDetectorCOM>,
      public com::IObjectSafetyImpl<CMVDetector, INTERFACESAFE_FOR_UNTRUSTED_CALLER>,
      public com::IDispatchImpl<IMVDetectorCOM, &IID_IMVDetectorCOM, &LIBID_MVDetectorAXLib, 1, 0,
                                com::CComTypeInfoHolder>,
      public IObjectWithSite {
public:
    BEGIN_COM_MAP(CMVDetector)
        COM_INTERFACE_ENTRY_IID(IID_IMVDetectorCOM, IMVDetectorCOM)
        COM_INTERFACE_ENTRY_IID(IID_IDispatch, IDispatch)
        COM_INTERFACE_ENTRY_IID(IID_IObjectSafety, IObjectSafety)
        // Only in a locked installation (see SiteGate).
        COM_INTERFACE_ENTRY_FUNC(IID_IObjectWithSite, 0, &CMVDetector::QueryObjectWithSite)
    END_COM_MAP()

    HRESULT FinalConstruct() noexcept;

    // A locked installation refuses to be scripted by a page it does not allow.
    HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD options) noexcept override;

    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** site) noexcept override;

    // The script face, in DISPID (and vtable) order.
    HRESULT STDMETHODCALLTYPE IsMiVoVAReady(VARIANT_BOOL* ready) noexcept override;
    HRESULT STDMETHODCALLTYPE StartMiVoVA() noexcept override;
    HRESULT STDMETHODCALLTYPE IsInstalled(VARIANT_BOOL* installed) noexcept override;
    HRESULT STDMETHODCALLTYPE IsSupportDownload(VARIANT_BOOL* supported) noexcept override;
    HRESULT STDMETHODCALLTYPE DownLoad(long pid, long vid, long playlistid) noexcept override;
    HRESULT STDMETHODCALLTYPE ShowDetailPage(BSTR url) noexcept override;
    HRESULT STDMETHODCALLTYPE GetMivoVAVersion(ULONG* dwVersion) noexcept override;
    HRESULT STDMETHODCALLTYPE OnlinePlay(BSTR url) noexcept override;
    HRESULT STDMETHODCALLTYPE RunMivoPlayer(BSTR url) noexcept override;
    HRESULT STDMETHODCALLTYPE GetFirstInstallTime(BSTR* time) noexcept override;
    HRESULT STDMETHODCALLTYPE GetUserId(ULONG* userId) noexcept override;
    HRESULT STDMETHODCALLTYPE IsShortcutCreated(long playlistid, VARIANT_BOOL* created) noexcept override;
    HRESULT STDMETHODCALLTYPE GetValue(BSTR key, BSTR* val) noexcept override;
    HRESULT STDMETHODCALLTYPE SetValue(BSTR key, BSTR val) noexcept override;
    HRESULT STDMETHODCALLTYPE IsShortcutCreatedEx(long playlistid, long eSrc, VARIANT_BOOL* created) noexcept override;
    HRESULT STDMETHODCALLTYPE GetChannelNum(ULONG* ChannelNum) noexcept override;
    HRESULT STDMETHODCALLTYPE IsEnableCreateShortcut(long cid, VARIANT_BOOL* Isable) noexcept override;
    HRESULT STDMETHODCALLTYPE GetInstallTime(BSTR* time) noexcept override;

private:
    static HRESULT WINAPI QueryObjectWithSite(void* self, REFIID iid, void** out, DWORD_PTR) noexcept;

    SiteGate gate_;
};

// The fixed set of `cid` values for which a page may offer a shortcut.
bool IsShortcutChannel(long cid) noexcept;

}  // namespace mv::control
