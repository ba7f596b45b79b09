#pragma once
// Concrete object classes: the leaf that implements IUnknown for a class
// that declares its interface map.
#include <new>

#include "com/ComObjectRoot.h"

namespace mv::com {

// A plain (not aggregated) instance. Each live instance holds one module lock.
template <class Base>
class CComObject : public Base {
public:
    using _BaseClass = Base;

    explicit CComObject(void* = nullptr) noexcept { _pAtlModule->Lock(); }
    // Follows the slots of the first interface in the vtable.
    virtual ~CComObject() {
        this->m_dwRef = kDestructingRefCount;
        this->FinalRelease();
        _pAtlModule->Unlock();
    }

    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return this->InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG count = this->InternalRelease();
        if (count == 0) delete this;
        return count;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        return this->_InternalQueryInterface(iid, out);
    }

    // A new instance with count 0; the caller's QueryInterface makes it 1.
    static HRESULT WINAPI CreateInstance(CComObject<Base>** out) noexcept {
        RETURN_HR_IF_NULL(E_POINTER, out);
        *out = nullptr;
        auto* object = new (std::nothrow) CComObject<Base>();
        RETURN_HR_IF_NULL(E_OUTOFMEMORY, object);
        object->SetVoid(nullptr);
        object->InternalFinalConstructAddRef();
        HRESULT hr = object->FinalConstruct();
        object->InternalFinalConstructRelease();
        if (FAILED(hr)) {
            delete object;
            return hr;
        }
        *out = object;
        return S_OK;
    }
};

}  // namespace mv::com
