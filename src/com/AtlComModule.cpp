#include "com/AtlComModule.h"

namespace mv::com {

CAtlComModule::CAtlComModule(_ATL_OBJMAP_ENTRY* first, _ATL_OBJMAP_ENTRY* last, HINSTANCE typeLibInstance) noexcept
    : m_ppAutoObjMapFirst(first), m_ppAutoObjMapLast(last), m_hInstTypeLib(typeLibInstance) {
    if (FAILED(m_csObjMap.Init())) MarkInitFailed();
    for (auto* e = m_ppAutoObjMapFirst; e != m_ppAutoObjMapLast; ++e) e->pfnObjectMain(true);
}

CAtlComModule::~CAtlComModule() {
    for (auto* e = m_ppAutoObjMapFirst; e != m_ppAutoObjMapLast; ++e) {
        e->pfnObjectMain(false);
        if (IUnknown* factory = e->pCF.exchange(nullptr)) factory->Release();
    }
}

HRESULT AtlComModuleGetClassObject(CAtlComModule& module, REFCLSID clsid, REFIID iid, void** out) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = nullptr;
    for (auto* e = module.m_ppAutoObjMapFirst; e != module.m_ppAutoObjMapLast; ++e) {
        if (!e->pfnGetClassObject || !InlineIsEqualGUID(clsid, *e->pclsid)) continue;
        IUnknown* factory = e->pCF.load(std::memory_order_acquire);
        if (!factory) {
            CComCritSecLock lock(module.m_csObjMap);
            factory = e->pCF.load(std::memory_order_relaxed);
            if (!factory) {
                RETURN_IF_FAILED(e->pfnGetClassObject(reinterpret_cast<void*>(e->pfnCreateInstance), IID_IUnknown,
                                                      reinterpret_cast<void**>(&factory)));
                e->pCF.store(factory, std::memory_order_release);
            }
        }
        return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace mv::com
