#include "control/SiteGate.h"

#include <memory>
#include <mutex>
#include <optional>

#include "client/ControlDirectory.h"
#include "control/PageUrl.h"
#include "facts/ControlFilePath.h"
#include "sitelock/SiteLock.h"
#include "win/PathBuffer.h"

namespace mv::control {

namespace {

using sitelock::SiteLock;

// mivo.cfg beside the control's own file; none when that file's folder
// cannot be named. A module's file does not move while it is loaded.
const std::optional<std::wstring>& OwnConfigPath() {
    static const std::optional<std::wstring> path = []() -> std::optional<std::wstring> {
        win::PathBuffer buffer;
        if (!client::OwnModuleDirectory(buffer) || !buffer.Append(facts::kConfigFileName)) return std::nullopt;
        return buffer.str();
    }();
    return path;
}

// Asked at every call: the file is looked at only every
// SiteLockFile::kRecheckMs, and whenever `recheck` asks.
std::shared_ptr<const SiteLock> ReadControlSiteLock(bool recheck = false) {
    const auto& path = OwnConfigPath();
    if (!path) {
        static const auto refused = std::make_shared<const SiteLock>(
            SiteLock::Unreadable(L"the control's own folder cannot be named"));
        return refused;
    }
    static std::mutex guard;
    static sitelock::SiteLockFile file(*path);
    std::lock_guard<std::mutex> hold(guard);
    return file.Current(::GetTickCount64(), recheck);
}

}  // namespace

// A new instance sees the lock as the file stands now.
void SiteGate::ReadLock() { answersSite_ = ReadControlSiteLock(true)->Locked(); }

void SiteGate::SetSite(IUnknown* site) {
    // Refused first: should asking for the page fail half way, nothing is allowed.
    page_ = Page::Refused;
    url_.clear();
    judgedBy_.reset();
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
        auto lock = ReadControlSiteLock();
        // Parsing the page's address takes the platform's URL parser: the
        // verdict stands until the lock or the page changes.
        if (lock != judgedBy_) {
            allowed_ = !lock->Locked() || (page_ == Page::Shown && lock->Allows(url_));
            judgedBy_ = std::move(lock);
        }
        return allowed_;
    } catch (...) {
        return false;
    }
}

HRESULT SiteGate::ScriptAccess() const noexcept { return PageAllowed() ? S_OK : E_ACCESSDENIED; }

bool SiteGate::PageRefused() const noexcept { return page_ != Page::NotSited && !PageAllowed(); }

}  // namespace mv::control
