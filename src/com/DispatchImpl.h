#pragma once
// IDispatch driven by a registered type library. One holder per interface
// and process keeps the type information and a cache of member names.
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include "com/ComObjectRoot.h"

namespace mv::com {

class CComTypeInfoHolder {
public:
    struct NameEntry {
        BSTR name;
        UINT length;
        DISPID id;
    };

    const GUID* m_pguid;
    const GUID* m_plibid;
    WORD m_wMajor;
    WORD m_wMinor;
    ITypeInfo* m_pInfo;
    NameEntry* m_pMap;
    int m_nCount;

    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept;
    HRESULT Invoke(IDispatch* self, DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept;

    // Loads the type information on first use (LoadRegTypeLib only: there is
    // no fallback to the module's own file) and builds the name cache.
    HRESULT EnsureTI(LCID lcid) noexcept;

    // Releases what was loaded; registered as a module termination function.
    static void __stdcall Cleanup(DWORD_PTR holder) noexcept;

private:
    HRESULT GetTI(LCID lcid) noexcept;
    HRESULT LoadNameCache(ITypeInfo* info) noexcept;
};

template <class T, const IID* piid, const GUID* plibid, WORD wMajor = 1, WORD wMinor = 0,
          class tihclass = CComTypeInfoHolder>
class ATL_NO_VTABLE IDispatchImpl : public T {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        RETURN_HR_IF_NULL(E_POINTER, count);
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override {
        return _tih.GetTypeInfo(index, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) noexcept override {
        return _tih.GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept override {
        // Every member is a method: a property read or write of its name runs it.
        if (flags == DISPATCH_PROPERTYGET || flags == DISPATCH_PROPERTYPUT)
            return this->Invoke(id, riid, lcid, DISPATCH_METHOD, params, result, excepInfo, argErr);
        return _tih.Invoke(static_cast<IDispatch*>(this), id, riid, lcid, flags, params, result, excepInfo, argErr);
    }

    static tihclass _tih;
};

template <class T, const IID* piid, const GUID* plibid, WORD wMajor, WORD wMinor, class tihclass>
tihclass IDispatchImpl<T, piid, plibid, wMajor, wMinor, tihclass>::_tih = {piid, plibid, wMajor, wMinor,
                                                                          nullptr, nullptr, 0};

}  // namespace mv::com
