#pragma once
// Creators: the functions an object map calls to make an instance for an IID.
#include <new>

#include "com/ComObject.h"

namespace mv::com {

// (outer IUnknown or null, IID, out pointer).
using _ATL_CREATORFUNC = HRESULT WINAPI(void* pv, REFIID iid, void** out);

// Allocates a T1 (constructed with `pv`), finishes its construction and
// queries it for `iid`. Anything but S_OK destroys it again: a creation
// never leaves a half-made object or its module lock behind.
template <class T1>
class CComCreator {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID iid, void** out) noexcept {
        RETURN_HR_IF_NULL(E_POINTER, out);
        *out = nullptr;
        auto* object = new (std::nothrow) T1(pv);
        RETURN_HR_IF_NULL(E_OUTOFMEMORY, object);
        HRESULT hr = FinishConstruction(object, pv);
        if (SUCCEEDED(hr)) hr = object->QueryInterface(iid, out);
        if (hr != S_OK) {
            *out = nullptr;
            delete object;
        }
        return hr;
    }
};

// Plain creation without an outer object, aggregated creation with one.
template <class Plain, class Aggregated>
class CComCreator2 {
public:
    static HRESULT WINAPI CreateInstance(void* outer, REFIID iid, void** out) noexcept {
        return outer == nullptr ? Plain::CreateInstance(nullptr, iid, out) : Aggregated::CreateInstance(outer, iid, out);
    }
};

}  // namespace mv::com
