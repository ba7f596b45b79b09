#pragma once
// The COM-module record: the object map, its lock, and the class-object
// lookup over it.
#include <windows.h>
#include <objbase.h>

#include <atomic>

#include "com/AtlModule.h"
#include "com/ComCreator.h"
#include "com/ComObjectRoot.h"

namespace mv::com {

struct _ATL_OBJMAP_ENTRY {
    const CLSID* pclsid;
    HRESULT(WINAPI* pfnUpdateRegistry)(BOOL registering);  // null: the class registers nothing
    _ATL_CREATORFUNC* pfnGetClassObject;                   // makes the class object
    _ATL_CREATORFUNC* pfnCreateInstance;                   // makes an instance, plain or aggregated
    std::atomic<IUnknown*> pCF;                            // the cached class object, null until asked for
    const wchar_t*(WINAPI* pfnGetObjectDescription)();
    const _ATL_CATMAP_ENTRY* (*pfnGetCategoryMap)();
    void(WINAPI* pfnObjectMain)(bool starting);
};

// The entry of class T. A class with no registry script leaves the update
// function null.
template <class T>
_ATL_OBJMAP_ENTRY ObjectMapEntry() noexcept {
    HRESULT(WINAPI * update)(BOOL) = nullptr;
    if constexpr (requires { T::UpdateRegistry(TRUE); }) update = &T::UpdateRegistry;
    return {&T::GetObjectCLSID(),
            update,
            &T::_ClassFactoryCreatorClass::CreateInstance,
            &T::_CreatorClass::CreateInstance,
            nullptr,
            &T::GetObjectDescription,
            &T::GetCategoryMap,
            &T::ObjectMain};
}

class CAtlComModule {
public:
    CAtlComModule(_ATL_OBJMAP_ENTRY* first, _ATL_OBJMAP_ENTRY* last, HINSTANCE typeLibInstance) noexcept;
    CAtlComModule(const CAtlComModule&) = delete;
    CAtlComModule& operator=(const CAtlComModule&) = delete;
    // Releases the cached class objects.
    ~CAtlComModule();

    _ATL_OBJMAP_ENTRY* m_ppAutoObjMapFirst;
    _ATL_OBJMAP_ENTRY* m_ppAutoObjMapLast;
    HINSTANCE m_hInstTypeLib;  // the image whose TYPELIB resource is registered
    CComCriticalSection m_csObjMap;
};

// Finds the entry of `clsid`, creates its class object on the first request
// (once, however many threads ask at the same moment) and queries it for
// `iid`.
HRESULT AtlComModuleGetClassObject(CAtlComModule& module, REFCLSID clsid, REFIID iid, void** out) noexcept;

}  // namespace mv::com
