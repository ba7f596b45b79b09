#include "control/SiteGate.h"

#include <mutex>
#include <optional>
#include <string>

#include "control/PageUrl.h"
#include "facts/ControlFilePath.h"
#include "sitelock/SiteLock.h"
#include "win/PathBuffer.h"

namespace mv::control {

namespace {

// mivo.cfg beside the control, read again when the file changes: reading it
// takes Wine about 0.4 ms, at each control made and each page shown (each
// request of the browsers' host, in a locked installation).
sitelock::SiteLock ReadControlSiteLock() {
    win::PathBuffer path;
    if (!facts::ControlFilePath(facts::kConfigFileName, path)) return sitelock::SiteLock();
    static std::mutex guard;
    static std::optional<sitelock::SiteLockFile> file;
    std::lock_guard<std::mutex> hold(guard);
    if (!file || file->path() != path.c_str()) file.emplace(path.str());
    return file->Current();
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
