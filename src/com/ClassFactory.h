#pragma once
// The class object: makes instances through the creator of its object-map entry.
#include <unknwn.h>

#include "com/ComCreator.h"
#include "com/ComObjectRoot.h"

namespace mv::com {

class ATL_NO_VTABLE CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
public:
    BEGIN_COM_MAP(CComClassFactory)
        COM_INTERFACE_ENTRY(IClassFactory)
    END_COM_MAP()

    // The creators hand the instance creator over as `pv`.
    void SetVoid(void* pv) noexcept { m_pfnCreateInstance = reinterpret_cast<_ATL_CREATORFUNC*>(pv); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override {
        RETURN_HR_IF_NULL(E_POINTER, out);
        *out = nullptr;
        // An outer object can hold the aggregate only through its inner IUnknown.
        if (outer && !InlineIsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return m_pfnCreateInstance(outer, iid, out);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        if (lock)
            _pAtlModule->Lock();
        else
            _pAtlModule->Unlock();
        return S_OK;
    }

    _ATL_CREATORFUNC* m_pfnCreateInstance = nullptr;
};

}  // namespace mv::com
