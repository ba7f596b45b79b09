#pragma once
// Object roots, thread models and the interface map.
#include <windows.h>
#include <objbase.h>
#include <climits>

#include "com/AtlModule.h"
#include "com/HResult.h"

// GCC has no novtable; the classes are abstract all the same.
#ifndef ATL_NO_VTABLE
#define ATL_NO_VTABLE
#endif

namespace mv::com {

struct CComSingleThreadModel {
    static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(++(*p)); }
    static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(--(*p)); }
};

struct CComMultiThreadModel {
    static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(::InterlockedIncrement(p)); }
    static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(::InterlockedDecrement(p)); }
};

// A map row that decides at run time: called with the object, the IID asked
// and the row's own value; S_OK hands out what it wrote, any failure refuses.
using _ATL_CREATORARGFUNC = HRESULT WINAPI(void* self, REFIID iid, void** out, DWORD_PTR dw);

// One row of an interface map: the IID and the offset of its face in the
// class, or a function that answers for that IID.
struct _ATL_INTMAP_ENTRY {
    const IID* piid;
    DWORD_PTR offset;
    _ATL_CREATORARGFUNC* pFunc;
};

// One row of a component-category map (this server declares none).
struct _ATL_CATMAP_ENTRY {
    int iType;
    const GUID* pcatid;
};

// The count a dying object carries, so AddRef/Release pairs made while it is
// torn down cannot start a second destruction.
constexpr LONG kDestructingRefCount = -(LONG_MAX / 2);

class CComObjectRootBase {
public:
    // A plain object keeps its count here; a contained one the outer IUnknown.
    union {
        LONG m_dwRef;
        IUnknown* m_pOuterUnknown;
    };

    CComObjectRootBase() noexcept : m_dwRef(0) {}

    // Construction steps the creators run, in this order; a class hides the
    // ones it needs.
    void SetVoid(void*) noexcept {}
    void InternalFinalConstructAddRef() noexcept {}
    HRESULT _AtlInitialConstruct() noexcept { return S_OK; }
    HRESULT FinalConstruct() noexcept { return S_OK; }
    void InternalFinalConstructRelease() noexcept {}
    void FinalRelease() noexcept {}

    // The object map's per-class hook and category list: nothing by default.
    static void WINAPI ObjectMain(bool /*starting*/) noexcept {}
    static const _ATL_CATMAP_ENTRY* GetCategoryMap() noexcept { return nullptr; }

    static HRESULT WINAPI InternalQueryInterface(void* self, const _ATL_INTMAP_ENTRY* entries, REFIID iid,
                                                 void** out) noexcept {
        RETURN_HR_IF_NULL(E_POINTER, out);
        *out = nullptr;
        const _ATL_INTMAP_ENTRY* hit = nullptr;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            hit = entries;
        } else {
            for (const _ATL_INTMAP_ENTRY* e = entries; e->piid && !hit; ++e)
                if (InlineIsEqualGUID(iid, *e->piid)) hit = e;
        }
        if (!hit) return E_NOINTERFACE;
        if (hit->pFunc) {
            const HRESULT hr = hit->pFunc(self, iid, out, hit->offset);
            if (hr == S_OK) return S_OK;
            *out = nullptr;
            return FAILED(hr) ? hr : E_NOINTERFACE;
        }
        auto* face = reinterpret_cast<IUnknown*>(reinterpret_cast<BYTE*>(self) + hit->offset);
        face->AddRef();
        *out = face;
        return S_OK;
    }

    ULONG OuterAddRef() noexcept { return m_pOuterUnknown->AddRef(); }
    ULONG OuterRelease() noexcept { return m_pOuterUnknown->Release(); }
    HRESULT OuterQueryInterface(REFIID iid, void** out) noexcept { return m_pOuterUnknown->QueryInterface(iid, out); }
    void SetOuterUnknown(IUnknown* outer) noexcept { m_pOuterUnknown = outer; }
};

// Plain counts for objects that live in one apartment.
template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
public:
    using _ThreadModel = ThreadModel;
    ULONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }
};

// Interlocked counts, and a critical section of the object's own, set up
// before FinalConstruct and deleted with the object.
template <>
class CComObjectRootEx<CComMultiThreadModel> : public CComObjectRootBase {
public:
    using _ThreadModel = CComMultiThreadModel;
    ULONG InternalAddRef() noexcept { return CComMultiThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() noexcept { return CComMultiThreadModel::Decrement(&m_dwRef); }
    HRESULT _AtlInitialConstruct() noexcept { return m_critsec.Init(); }
    void Lock() noexcept { m_critsec.Lock(); }
    void Unlock() noexcept { m_critsec.Unlock(); }

private:
    CComCriticalSection m_critsec;
};

// Offset of base `I` inside `C`, computed without an object.
template <class I, class C>
DWORD_PTR OffsetOfFace() noexcept {
    constexpr DWORD_PTR kFake = 8;
    return reinterpret_cast<DWORD_PTR>(static_cast<I*>(reinterpret_cast<C*>(kFake))) - kFake;
}

}  // namespace mv::com

// The interface map: the first entry's face answers IUnknown and is the identity.
#define BEGIN_COM_MAP(x)                                                                   \
public:                                                                                    \
    using _ComMapClass = x;                                                                \
    IUnknown* GetUnknown() noexcept {                                                      \
        return reinterpret_cast<IUnknown*>(reinterpret_cast<BYTE*>(this) + _GetEntries()->offset); \
    }                                                                                      \
    HRESULT _InternalQueryInterface(REFIID iid, void** out) noexcept {                     \
        return InternalQueryInterface(this, _GetEntries(), iid, out);                      \
    }                                                                                      \
    static const ::mv::com::_ATL_INTMAP_ENTRY* _GetEntries() noexcept {                    \
        static const ::mv::com::_ATL_INTMAP_ENTRY entries[] = {

#define COM_INTERFACE_ENTRY(I) {&__uuidof(I), ::mv::com::OffsetOfFace<I, _ComMapClass>(), nullptr},
#define COM_INTERFACE_ENTRY_IID(iid, I) {&iid, ::mv::com::OffsetOfFace<I, _ComMapClass>(), nullptr},
// `func(self, iid, out, dw)` answers for `iid`: a face the object has only
// in some states. Never the first row, which is the identity.
#define COM_INTERFACE_ENTRY_FUNC(iid, dw, func) {&iid, dw, func},

#define END_COM_MAP()                                                                      \
            {nullptr, 0, nullptr}};                                                        \
        return entries;                                                                    \
    }                                                                                      \
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;                                          \
    virtual ULONG STDMETHODCALLTYPE Release() = 0;                                         \
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) = 0;
