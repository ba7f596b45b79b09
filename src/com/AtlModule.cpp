#include "com/AtlModule.h"

#include <new>

namespace mv::com {

namespace {
// Zero-initialised before any constructor runs, whatever the order of the records.
bool initFailed = false;
}  // namespace

void MarkInitFailed() noexcept { initFailed = true; }
bool InitFailed() noexcept { return initFailed; }

CAtlModule::CAtlModule() noexcept {
    if (FAILED(staticDataLock_.Init()) || FAILED(termLock_.Init())) MarkInitFailed();
    _pAtlModule = this;
}

CAtlModule::~CAtlModule() {
    RunTermFuncs();
    if (git_) {
        git_->Release();
        git_ = nullptr;
    }
    if (_pAtlModule == this) _pAtlModule = nullptr;
}

HRESULT CAtlModule::GetGITPtr(IGlobalInterfaceTable** git) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, git);
    *git = nullptr;
    if (!git_) {
        CComCritSecLock lock(staticDataLock_);
        if (!git_) {
            const HRESULT hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&git_));
            if (FAILED(hr)) return hr;
        }
    }
    git_->AddRef();
    *git = git_;
    return S_OK;
}

HRESULT CAtlModule::AddTermFunc(TermFunc func, DWORD_PTR data) noexcept {
    try {
        CComCritSecLock lock(termLock_);
        termFuncs_.push_back({func, data});
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void CAtlModule::RunTermFuncs() noexcept {
    std::vector<TermEntry> funcs;
    {
        CComCritSecLock lock(termLock_);
        funcs.swap(termFuncs_);
    }
    for (auto it = funcs.rbegin(); it != funcs.rend(); ++it) it->func(it->data);
}

}  // namespace mv::com
