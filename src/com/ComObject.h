#pragma once
// Concrete object classes: the leaves that implement IUnknown for a class
// that declares its interface map.
#include <new>

#include "com/ComObjectRoot.h"

namespace mv::com {

// The steps after allocation that every way of creating an object takes.
template <class T>
HRESULT FinishConstruction(T* object, void* pv) noexcept {
    object->SetVoid(pv);
    object->InternalFinalConstructAddRef();
    HRESULT hr = object->_AtlInitialConstruct();
    if (SUCCEEDED(hr)) hr = object->FinalConstruct();
    object->InternalFinalConstructRelease();
    return hr;
}

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
        const HRESULT hr = FinishConstruction(object, nullptr);
        if (FAILED(hr)) {
            delete object;
            return hr;
        }
        *out = object;
        return S_OK;
    }
};

// The object inside an aggregate: its root holds the outer object's
// controlling IUnknown, and every face forwards IUnknown to it.
template <class Base>
class CComContainedObject : public Base {
public:
    using _BaseClass = Base;

    explicit CComContainedObject(void* outer) noexcept { this->SetOuterUnknown(static_cast<IUnknown*>(outer)); }

    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return this->OuterAddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return this->OuterRelease(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        return this->OuterQueryInterface(iid, out);
    }

    IUnknown* GetControllingUnknown() noexcept { return this->m_pOuterUnknown; }
};

// An aggregated instance: its own IUnknown is the inner unknown handed to
// the outer object; the faces it hands out are the contained object's.
template <class Contained>
class CComAggObject : public IUnknown, public CComObjectRootEx<CComSingleThreadModel> {
public:
    explicit CComAggObject(void* outer) noexcept : m_contained(outer) { _pAtlModule->Lock(); }
    virtual ~CComAggObject() {
        m_dwRef = kDestructingRefCount;
        FinalRelease();
        _pAtlModule->Unlock();
    }

    HRESULT _AtlInitialConstruct() noexcept { return m_contained._AtlInitialConstruct(); }
    HRESULT FinalConstruct() noexcept { return m_contained.FinalConstruct(); }
    void FinalRelease() noexcept { m_contained.FinalRelease(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        RETURN_HR_IF_NULL(E_POINTER, out);
        *out = nullptr;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            // The inner unknown is a reference like any other: counted here.
            AddRef();
            *out = static_cast<IUnknown*>(this);
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG count = InternalRelease();
        if (count == 0) delete this;
        return count;
    }

    CComContainedObject<Contained> m_contained;
};

// The class object kept in the object map. The map's own reference is the
// first and does not lock the module; the second and every further one,
// held by clients, does. Counts are interlocked: any thread may hold it.
template <class Base>
class CComObjectCached : public Base {
public:
    using _BaseClass = Base;

    explicit CComObjectCached(void* = nullptr) noexcept {}
    virtual ~CComObjectCached() {
        this->m_dwRef = kDestructingRefCount;
        this->FinalRelease();
    }

    ULONG STDMETHODCALLTYPE AddRef() noexcept override {
        const ULONG count = this->InternalAddRef();
        if (count == 2) _pAtlModule->Lock();
        return count;
    }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG count = this->InternalRelease();
        if (count == 0) {
            delete this;
        } else if (count == 1 && _pAtlModule) {
            // The module may already be gone when static destruction drops
            // a factory that a client never gave back.
            _pAtlModule->Unlock();
        }
        return count;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        return this->_InternalQueryInterface(iid, out);
    }
};

}  // namespace mv::com
