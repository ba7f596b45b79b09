#pragma once
// Class identity. Holds no data and no virtual functions, so the object's
// first vtable stays that of its first interface.
#include <windows.h>

namespace mv::com {

template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    static const CLSID& WINAPI GetObjectCLSID() noexcept { return *pclsid; }
    void SetVoid(void*) noexcept {}
    void InternalFinalConstructAddRef() noexcept {}
    void InternalFinalConstructRelease() noexcept {}
};

}  // namespace mv::com
