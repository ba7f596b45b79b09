#include "control/SiteGate.h"

#include <string>

#include "control/PageUrl.h"
#include "facts/ControlFilePath.h"
#include "sitelock/SiteLock.h"
#include "win/PathBuffer.h"

namespace mv::control {

namespace {

// mivo.cfg beside the control, read afresh each time.
sitelock::SiteLock ReadControlSiteLock() {
    win::PathBuffer path;
    if (!facts::ControlFilePath(facts::kConfigFileName, path)) return sitelock::SiteLock();
    return sitelock::ReadSiteLock(path.c_str());
}

}  // namespace

void SiteGate::ReadLock() { locked_ = ReadControlSiteLock().Locked(); }

void SiteGate::SetSite(IUnknown* site) {
    // Refused first: should judging the page fail half way, nothing is allowed.
    page_ = Page::Refused;
    site_ = site;
    if (!site) return;
    const sitelock::SiteLock lock = ReadControlSiteLock();
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
