#include "control/SiteGate.h"

#include <memory>
#include <mutex>
#include <optional>

#include "control/PageUrl.h"
#include "facts/ControlFilePath.h"
#include "sitelock/SiteLock.h"
#include "win/PathBuffer.h"

namespace mv::control {

namespace {

// mivo.cfg beside the control, read again when the file changes: reading it
// takes Wine about 0.4 ms, looking at its times some 25 us, at each call of
// a locked instance.
std::shared_ptr<const sitelock::SiteLock> ReadControlSiteLock() {
    win::PathBuffer path;
    if (!facts::ControlFilePath(facts::kConfigFileName, path)) return std::make_shared<const sitelock::SiteLock>();
    static std::mutex guard;
    static std::optional<sitelock::SiteLockFile> file;
    std::lock_guard<std::mutex> hold(guard);
    if (!file || file->path() != path.c_str()) file.emplace(path.str());
    return file->Current();
}

}  // namespace

void SiteGate::ReadLock() { answersSite_ = ReadControlSiteLock()->Locked(); }

void SiteGate::SetSite(IUnknown* site) {
    // Refused first: should asking for the page fail half way, nothing is allowed.
    page_ = Page::Refused;
    url_.clear();
    site_ = site;
    if (!site) return;
    url_ = PageUrlOfSite(site);
    if (!url_.empty()) page_ = Page::Shown;
}

HRESULT SiteGate::GetSite(REFIID iid, void** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(iid, out);
}

// A lock that cannot be looked at (no memory) refuses, as one that cannot be read.
bool SiteGate::PageAllowed() const noexcept {
    try {
        const auto lock = ReadControlSiteLock();
        return !lock->Locked() || (page_ == Page::Shown && lock->Allows(url_));
    } catch (...) {
        return false;
    }
}

HRESULT SiteGate::ScriptAccess() const noexcept { return PageAllowed() ? S_OK : E_ACCESSDENIED; }

bool SiteGate::PageRefused() const noexcept { return page_ != Page::NotSited && !PageAllowed(); }

}  // namespace mv::control
