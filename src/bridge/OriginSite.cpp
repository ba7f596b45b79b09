#include "bridge/OriginSite.h"

#include <urlmon.h>

#include <new>

#include "win/SystemLibrary.h"

namespace mv::bridge {

namespace {

class OriginSite final : public IOleClientSite {
public:
    explicit OriginSite(Microsoft::WRL::ComPtr<IMoniker> page) : page_(std::move(page)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!InlineIsEqualGUID(iid, IID_IUnknown) && !InlineIsEqualGUID(iid, IID_IOleClientSite)) return E_NOINTERFACE;
        AddRef();
        *out = static_cast<IOleClientSite*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD which, IMoniker** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (which != OLEWHICHMK_CONTAINER || !page_) return E_FAIL;
        return page_.CopyTo(out);
    }
    HRESULT STDMETHODCALLTYPE SaveObject() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) noexcept override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() noexcept override { return E_NOTIMPL; }

private:
    LONG refs_ = 1;
    Microsoft::WRL::ComPtr<IMoniker> page_;
};

}  // namespace

Microsoft::WRL::ComPtr<IOleClientSite> MakeOriginSite(const std::wstring& origin) {
    using CreateMonikerFn = decltype(&::CreateURLMonikerEx);
    static const CreateMonikerFn createMoniker =
        win::SystemLibrary(L"urlmon.dll").Function<CreateMonikerFn>("CreateURLMonikerEx");
    Microsoft::WRL::ComPtr<IMoniker> page;
    // No address (none sent, or none a moniker can hold): a site that shows
    // no page, which a locked control refuses.
    if (origin.empty() || !createMoniker || FAILED(createMoniker(nullptr, origin.c_str(), page.GetAddressOf(), URL_MK_UNIFORM)))
        page.Reset();
    Microsoft::WRL::ComPtr<IOleClientSite> site;
    site.Attach(new (std::nothrow) OriginSite(std::move(page)));
    return site;
}

}  // namespace mv::bridge
