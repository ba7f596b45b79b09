#pragma once
// IObjectSafety with one enabled-options value per instance.
#include <windows.h>
#include <objsafe.h>

#include "com/ComObjectRoot.h"

// The tool chain's header declares the interface without its IID binding,
// which COM_INTERFACE_ENTRY(IObjectSafety) needs.
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IObjectSafety, 0xcb5bdc81, 0x93c1, 0x11cf, 0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64)
#endif

namespace mv::com {

template <class T, DWORD dwSupportedSafety>
class ATL_NO_VTABLE IObjectSafetyImpl : public IObjectSafety {
public:
    DWORD m_dwCurrentSafety = 0;

    HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                                        DWORD* enabled) noexcept override {
        if (!supported || !enabled) return E_POINTER;
        IUnknown* unknown = nullptr;
        // Through the identity face: an aggregated instance asks its outer object.
        const HRESULT hr = static_cast<T*>(this)->GetUnknown()->QueryInterface(riid, reinterpret_cast<void**>(&unknown));
        if (FAILED(hr)) {
            *supported = 0;
            *enabled = 0;
            return hr;
        }
        unknown->Release();
        *supported = dwSupportedSafety;
        *enabled = m_dwCurrentSafety;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD options) noexcept override {
        IUnknown* unknown = nullptr;
        if (FAILED(static_cast<T*>(this)->GetUnknown()->QueryInterface(riid, reinterpret_cast<void**>(&unknown))))
            return E_NOINTERFACE;
        unknown->Release();
        if (mask & ~dwSupportedSafety) return E_FAIL;
        m_dwCurrentSafety = (mask & options) | (~mask & m_dwCurrentSafety);
        return S_OK;
    }
};

}  // namespace mv::com
