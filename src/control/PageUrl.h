#pragma once
// The address of the page that hosts the control, asked of the site the
// host gave it (IObjectWithSite::SetSite).
#include <windows.h>
#include <unknwn.h>

#include <string>

namespace mv::control {

// The address of the document the control sits in, as Internet Explorer
// answers it: the document behind the site's container (or the container's
// moniker), then the browser's location. Empty when the site answers none.
std::wstring PageUrlOfSite(IUnknown* site);

}  // namespace mv::control
