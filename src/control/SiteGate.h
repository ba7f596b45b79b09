#pragma once
// The site lock as one control instance applies it. An unlocked
// installation leaves the instance exactly as it always was; a locked one
// serves script only after its site has shown a page the rules allow.
#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

namespace mv::control {

class SiteGate {
public:
    // Read once, when the instance is made: whether the instance answers
    // IObjectWithSite at all cannot change under a host that asked.
    void ReadLock();
    bool Locked() const noexcept { return locked_; }

    // The rules are looked at again for each site (the file is read again
    // once its size or last-write time has changed), so a changed list
    // applies to the next page. A null site is the page going away.
    void SetSite(IUnknown* site);
    HRESULT GetSite(REFIID iid, void** out) const noexcept;

    // S_OK, or E_ACCESSDENIED while a locked instance has no allowed page.
    HRESULT ScriptAccess() const noexcept;
    // A site was given and showed no page the rules allow. Before any site
    // nothing is known yet: browsers ask for safety before they set the site.
    bool PageRefused() const noexcept { return locked_ && page_ == Page::Refused; }

private:
    enum class Page { NotSited, Allowed, Refused };

    bool locked_ = false;
    Page page_ = Page::NotSited;
    Microsoft::WRL::ComPtr<IUnknown> site_;
};

}  // namespace mv::control
