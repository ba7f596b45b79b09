#pragma once
// A page as Internet Explorer shows it to a control's site, written in C,
// where the document and browser interfaces can be faked with only the
// methods a control calls.
#include <windows.h>
#include <unknwn.h>

typedef struct TestSiteRoads {
    BOOL clientSite;           // IOleClientSite -> container -> document
    BOOL documentService;      // IServiceProvider -> SID_SContainerDispatch -> document
    const wchar_t* documentUrl;
    const wchar_t* browserUrl; // IServiceProvider -> SID_SWebBrowserApp; null: none
} TestSiteRoads;

// A new site, one reference; `roads` must outlive it.
EXTERN_C IUnknown* CreateTestSite(const TestSiteRoads* roads);
