#pragma once
// CMVDetector: the control object behind coclass MVDetectorCOM.
#include <windows.h>

#include "MVDetectorAX_h.h"
#include "com/ComCoClass.h"
#include "com/ComObjectRoot.h"
#include "com/DispatchImpl.h"
#include "com/ObjectSafetyImpl.h"

namespace mv::control {

class ATL_NO_VTABLE CMVDetector
    : public com::CComObjectRootEx<com::CComSingleThreadModel>,
      public com::CComCoClass<CMVDetector, &CLSID_MVDetectorCOM>,
      public com::IObjectSafetyImpl<CMVDetector, INTERFACESAFE_FOR_UNTRUSTED_CALLER>,
      public com::IDispatchImpl<IMVDetectorCOM, &IID_IMVDetectorCOM, &LIBID_MVDetectorAXLib, 1, 0,
                                com::CComTypeInfoHolder> {
public:
    BEGIN_COM_MAP(CMVDetector)
        COM_INTERFACE_ENTRY_IID(IID_IMVDetectorCOM, IMVDetectorCOM)
        COM_INTERFACE_ENTRY_IID(IID_IDispatch, IDispatch)
        COM_INTERFACE_ENTRY_IID(IID_IObjectSafety, IObjectSafety)
    END_COM_MAP()

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
};

// The fixed set of `cid` values for which a page may offer a shortcut.
bool IsShortcutChannel(long cid) noexcept;

}  // namespace mv::control
