#pragma once
// IObjectSafety with one enabled-options value per instance.
#include <windows.h>
#include <objsafe.h>

#include "com/ComObjectRoot.h"

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
