#include "control/SiteGate.h"

#include <string>

#include "control/PageUrl.h"
#include "sitelock/SiteLock.h"

namespace mv::control {

void SiteGate::ReadLock() { locked_ = sitelock::ReadControlSiteLock().Locked(); }

void SiteGate::SetSite(IUnknown* site) {
    // Refused first: should judging the page fail half way, nothing is allowed.
    page_ = Page::Refused;
    site_ = site;
    if (!site) return;
    const sitelock::SiteLock lock = sitelock::ReadControlSiteLock();
    if (!lock.Locked()) {
        page_ = Page::Allowed;
        return;
    }
    const std::wstring url = PageUrlOfSite(site);
    if (!url.empty() && lock.Allows(url)) page_ = Page::Allowed;
}

HRESULT SiteGate::GetSite(REFIID iid, void** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(iid, out);
}

HRESULT SiteGate::ScriptAccess() const noexcept {
    return !locked_ || page_ == Page::Allowed ? S_OK : E_ACCESSDENIED;
}

}  // namespace mv::control
