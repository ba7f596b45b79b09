#pragma once
// The page's origin handed to the control the way a browser hands it the
// page: a client site whose container is named by a moniker of that
// address. A control in a locked installation judges the page by it.
#include <windows.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <string>

namespace mv::bridge {

// An empty or unusable address gives a site that shows no page; null only
// when memory runs out.
Microsoft::WRL::ComPtr<IOleClientSite> MakeOriginSite(const std::wstring& origin);

}  // namespace mv::bridge
