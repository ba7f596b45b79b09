#include "control/PageUrl.h"

#include <exdisp.h>
#include <mshtml.h>
#include <oleidl.h>
#include <servprov.h>
#include <shlguid.h>
#include <wrl/client.h>

#include "win/ScopedBstr.h"

namespace mv::control {

namespace {

using Microsoft::WRL::ComPtr;

// The document's own dispatch object, as the service of a script site or a
// control site gives it; the tool chain declares this id without defining it.
constexpr GUID kContainerDispatchService = {0xb722be00, 0x4e68, 0x101b, {0xa2, 0xbc, 0x00, 0xaa, 0x00, 0x40, 0x47, 0x70}};

// With its length: a NUL inside the address must reach the parser, which
// refuses it, rather than cut the address short.
std::wstring TextWithLength(const win::ScopedBstr& text) { return std::wstring(text.Get(), text.Length()); }

std::wstring UrlOfDocument(IHTMLDocument2* document) {
    win::ScopedBstr url;
    if (!document || FAILED(document->get_URL(url.Receive()))) return std::wstring();
    return TextWithLength(url);
}

// A control placed by markup: its client site's container is the document.
std::wstring UrlFromClientSite(IUnknown* site) {
    ComPtr<IOleClientSite> clientSite;
    ComPtr<IOleContainer> container;
    ComPtr<IHTMLDocument2> document;
    if (FAILED(site->QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(clientSite.GetAddressOf()))) ||
        FAILED(clientSite->GetContainer(container.GetAddressOf())) || !container ||
        FAILED(container.As(&document)))
        return std::wstring();
    return UrlOfDocument(document.Get());
}

// A client site may name its container by a moniker instead: the page's
// address (the browser bridge gives the control the page's origin this way).
std::wstring UrlFromContainerMoniker(IUnknown* site) {
    ComPtr<IOleClientSite> clientSite;
    ComPtr<IMoniker> moniker;
    ComPtr<IBindCtx> context;
    LPOLESTR name = nullptr;
    if (FAILED(site->QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(clientSite.GetAddressOf()))) ||
        FAILED(clientSite->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, moniker.GetAddressOf())) ||
        !moniker || FAILED(::CreateBindCtx(0, context.GetAddressOf())) ||
        FAILED(moniker->GetDisplayName(context.Get(), nullptr, &name)) || !name)
        return std::wstring();
    std::wstring url(name);
    ::CoTaskMemFree(name);
    return url;
}

// A control created by script gets a service provider for a site.
std::wstring UrlFromDocumentService(IServiceProvider* services) {
    ComPtr<IHTMLDocument2> document;
    if (FAILED(services->QueryService(kContainerDispatchService, IID_IHTMLDocument2,
                                      reinterpret_cast<void**>(document.GetAddressOf()))))
        return std::wstring();
    return UrlOfDocument(document.Get());
}

// The top-level browser's address: a frame's own document, found above,
// comes first, so that a frame is judged by its own address.
std::wstring UrlFromBrowser(IServiceProvider* services) {
    ComPtr<IWebBrowser2> browser;
    win::ScopedBstr url;
    if (FAILED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, reinterpret_cast<void**>(browser.GetAddressOf()))) ||
        !browser || FAILED(browser->get_LocationURL(url.Receive())))
        return std::wstring();
    return TextWithLength(url);
}

}  // namespace

std::wstring PageUrlOfSite(IUnknown* site) {
    if (!site) return std::wstring();
    std::wstring url = UrlFromClientSite(site);
    if (url.empty()) url = UrlFromContainerMoniker(site);
    if (!url.empty()) return url;
    ComPtr<IServiceProvider> services;
    if (FAILED(site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.GetAddressOf())))) return std::wstring();
    url = UrlFromDocumentService(services.Get());
    if (!url.empty()) return url;
    return UrlFromBrowser(services.Get());
}

}  // namespace mv::control
