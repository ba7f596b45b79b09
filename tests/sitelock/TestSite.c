#include "TestSite.h"

#include <exdisp.h>
#include <mshtml.h>
#include <oleidl.h>
#include <servprov.h>
#include <shlguid.h>
#include <stddef.h>

static const GUID kContainerDispatch = {0xb722be00, 0x4e68, 0x101b, {0xa2, 0xbc, 0x00, 0xaa, 0x00, 0x40, 0x47, 0x70}};

/* One object with every face; the slots left null are never called. */
typedef struct TestSite {
    IServiceProvider services;
    IOleClientSite clientSite;
    IOleContainer container;
    IHTMLDocument2 document;
    IWebBrowser2 browser;
    LONG refs;
    const TestSiteRoads* roads;
} TestSite;

#define SITE(face, member) ((TestSite*)((char*)(face) - offsetof(TestSite, member)))

static HRESULT Answer(void* face, void** out) {
    ((IUnknown*)face)->lpVtbl->AddRef((IUnknown*)face);
    *out = face;
    return S_OK;
}

static HRESULT Query(TestSite* s, REFIID iid, void** out) {
    *out = NULL;
    if (IsEqualIID(iid, &IID_IUnknown) ||
        (IsEqualIID(iid, &IID_IServiceProvider) && (s->roads->documentService || s->roads->browserUrl)))
        return Answer(&s->services, out);
    if (IsEqualIID(iid, &IID_IOleClientSite) && s->roads->clientSite) return Answer(&s->clientSite, out);
    if (IsEqualIID(iid, &IID_IHTMLDocument2)) return Answer(&s->document, out); /* the container's document */
    return E_NOINTERFACE;
}

static ULONG Release(TestSite* s) {
    const LONG refs = InterlockedDecrement(&s->refs);
    if (refs == 0) HeapFree(GetProcessHeap(), 0, s);
    return (ULONG)refs;
}

#define FACE_UNKNOWN(Iface, m)                                                                         \
    static HRESULT STDMETHODCALLTYPE m##QI(Iface* f, REFIID iid, void** out) { return Query(SITE(f, m), iid, out); } \
    static ULONG STDMETHODCALLTYPE m##AddRef(Iface* f) { return (ULONG)InterlockedIncrement(&SITE(f, m)->refs); } \
    static ULONG STDMETHODCALLTYPE m##Release(Iface* f) { return Release(SITE(f, m)); }
FACE_UNKNOWN(IServiceProvider, services)
FACE_UNKNOWN(IOleClientSite, clientSite)
FACE_UNKNOWN(IOleContainer, container)
FACE_UNKNOWN(IHTMLDocument2, document)
FACE_UNKNOWN(IWebBrowser2, browser)

static HRESULT Text(const wchar_t* text, BSTR* out) {
    *out = text ? SysAllocString(text) : NULL;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE QueryService(IServiceProvider* f, REFGUID service, REFIID iid, void** out) {
    TestSite* s = SITE(f, services);
    *out = NULL;
    if (IsEqualGUID(service, &kContainerDispatch) && s->roads->documentService) return Query(s, iid, out);
    if (IsEqualGUID(service, &SID_SWebBrowserApp) && s->roads->browserUrl && IsEqualIID(iid, &IID_IWebBrowser2))
        return Answer(&s->browser, out);
    return E_NOINTERFACE;
}
static HRESULT STDMETHODCALLTYPE GetContainer(IOleClientSite* f, IOleContainer** out) {
    return Answer(&SITE(f, clientSite)->container, (void**)out);
}
static HRESULT STDMETHODCALLTYPE GetMoniker(IOleClientSite* f, DWORD assign, DWORD which, IMoniker** out) {
    (void)f, (void)assign, (void)which;
    *out = NULL;
    return E_FAIL;
}
static HRESULT STDMETHODCALLTYPE GetURL(IHTMLDocument2* f, BSTR* out) { return Text(SITE(f, document)->roads->documentUrl, out); }
static HRESULT STDMETHODCALLTYPE GetLocationURL(IWebBrowser2* f, BSTR* out) { return Text(SITE(f, browser)->roads->browserUrl, out); }

static IServiceProviderVtbl servicesVtbl = {servicesQI, servicesAddRef, servicesRelease, QueryService};
static IOleClientSiteVtbl clientSiteVtbl = {.QueryInterface = clientSiteQI, .AddRef = clientSiteAddRef,
                                            .Release = clientSiteRelease, .GetMoniker = GetMoniker,
                                            .GetContainer = GetContainer};
static IOleContainerVtbl containerVtbl = {.QueryInterface = containerQI, .AddRef = containerAddRef,
                                          .Release = containerRelease};
static IHTMLDocument2Vtbl documentVtbl = {.QueryInterface = documentQI, .AddRef = documentAddRef,
                                          .Release = documentRelease, .get_URL = GetURL};
static IWebBrowser2Vtbl browserVtbl = {.QueryInterface = browserQI, .AddRef = browserAddRef,
                                       .Release = browserRelease, .get_LocationURL = GetLocationURL};

IUnknown* CreateTestSite(const TestSiteRoads* roads) {
    TestSite* s = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TestSite));
    s->services.lpVtbl = &servicesVtbl;
    s->clientSite.lpVtbl = &clientSiteVtbl;
    s->container.lpVtbl = &containerVtbl;
    s->document.lpVtbl = &documentVtbl;
    s->browser.lpVtbl = &browserVtbl;
    s->refs = 1;
    s->roads = roads;
    return (IUnknown*)&s->services;
}
