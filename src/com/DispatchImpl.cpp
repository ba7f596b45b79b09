#include "com/DispatchImpl.h"

#include <atomic>
#include <cwchar>
#include <new>

namespace mv::com {

HRESULT CComTypeInfoHolder::EnsureTI(LCID lcid) noexcept {
    if (std::atomic_ref<ITypeInfo*>(m_pInfo).load(std::memory_order_acquire) &&
        std::atomic_ref<NameEntry*>(m_pMap).load(std::memory_order_acquire))
        return S_OK;
    return GetTI(lcid);
}

HRESULT CComTypeInfoHolder::GetTI(LCID lcid) noexcept {
    CComCritSecLock lock(_pAtlModule->StaticDataLock());
    HRESULT hr = S_OK;
    if (!m_pInfo) {
        ITypeLib* library = nullptr;
        hr = ::LoadRegTypeLib(*m_plibid, m_wMajor, m_wMinor, lcid, &library);
        if (SUCCEEDED(hr)) {
            ITypeInfo* info = nullptr;
            hr = library->GetTypeInfoOfGuid(*m_pguid, &info);
            if (SUCCEEDED(hr)) {
                ITypeInfo2* info2 = nullptr;
                if (SUCCEEDED(info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2)))) {
                    info->Release();
                    info = info2;
                }
                // Readers on the unlocked fast path see the pointer only once it is complete.
                std::atomic_ref<ITypeInfo*>(m_pInfo).store(info, std::memory_order_release);
                _pAtlModule->AddTermFunc(&CComTypeInfoHolder::Cleanup, reinterpret_cast<DWORD_PTR>(this));
            }
            library->Release();
        }
    }
    if (m_pInfo && !m_pMap) hr = LoadNameCache(m_pInfo);
    return hr;
}

HRESULT CComTypeInfoHolder::LoadNameCache(ITypeInfo* info) noexcept {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return S_OK;  // no cache; the type information still serves
    const int count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);

    auto* map = new (std::nothrow) NameEntry[count > 0 ? count : 1];
    if (!map) return E_OUTOFMEMORY;
    for (int i = 0; i < count; ++i) {
        map[i] = {nullptr, 0, DISPID_UNKNOWN};
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc))) continue;
        BSTR name = nullptr;
        if (SUCCEEDED(info->GetDocumentation(desc->memid, &name, nullptr, nullptr, nullptr))) {
            map[i].name = name;
            map[i].length = ::SysStringLen(name);
            map[i].id = desc->memid;
        }
        info->ReleaseFuncDesc(desc);
    }
    m_nCount = count;
    std::atomic_ref<NameEntry*>(m_pMap).store(map, std::memory_order_release);
    return S_OK;
}

void __stdcall CComTypeInfoHolder::Cleanup(DWORD_PTR holder) noexcept {
    auto* self = reinterpret_cast<CComTypeInfoHolder*>(holder);
    if (self->m_pInfo) self->m_pInfo->Release();
    self->m_pInfo = nullptr;
    if (self->m_pMap) {
        for (int i = 0; i < self->m_nCount; ++i) ::SysFreeString(self->m_pMap[i].name);
        delete[] self->m_pMap;
    }
    self->m_pMap = nullptr;
    self->m_nCount = 0;
}

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept {
    if (index != 0) return DISP_E_BADINDEX;
    RETURN_HR_IF_NULL(E_POINTER, info);
    HRESULT hr = S_OK;
    if (!m_pInfo) hr = GetTI(lcid);
    *info = m_pInfo;
    if (m_pInfo) {
        m_pInfo->AddRef();
        hr = S_OK;
    }
    return hr;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept {
    const HRESULT hr = EnsureTI(lcid);
    if (!m_pInfo) return FAILED(hr) ? hr : E_FAIL;
    if (count == 1 && m_pMap && names && names[0] && ids) {
        const size_t length = wcslen(names[0]);
        for (int i = m_nCount - 1; i >= 0; --i) {
            const NameEntry& e = m_pMap[i];
            if (e.name && e.length == length && wmemcmp(e.name, names[0], length) == 0) {
                ids[0] = e.id;
                return S_OK;
            }
        }
    }
    return m_pInfo->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* self, DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept {
    const HRESULT hr = EnsureTI(lcid);
    if (!m_pInfo) return FAILED(hr) ? hr : E_FAIL;
    return m_pInfo->Invoke(self, id, flags, params, result, excepInfo, argErr);
}

}  // namespace mv::com
