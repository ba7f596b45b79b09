#pragma once
// The site lock as one control instance applies it. An unlocked
// installation leaves the instance exactly as it always was; a locked one
// serves script only while its site shows a page the rules allow.
#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "sitelock/SiteLock.h"

namespace mv::control {

class SiteGate {
public:
    // Read once, when the instance is made, from the file as it stands:
    // whether the instance answers IObjectWithSite at all cannot change
    // under a host that asked. A lock that cannot be read counts as locked.
    void ReadLock();
    bool AnswersSite() const noexcept { return answersSite_; }

    // The page the site shows is asked once per site; a null site is the
    // page going away.
    void SetSite(IUnknown* site);
    HRESULT GetSite(REFIID iid, void** out) const noexcept;

    // S_OK, or E_ACCESSDENIED while the installation is locked and the
    // instance has no allowed page. A changed mivo.cfg applies within
    // SiteLockFile::kRecheckMs; one that cannot be read refuses at once.
    HRESULT ScriptAccess() const noexcept;
    // A site was given and showed no page the rules allow. Before any site
    // nothing is known yet: browsers ask for safety before they set the site.
    bool PageRefused() const noexcept;

private:
    enum class Page { NotSited, Shown, Refused };

    bool PageAllowed() const noexcept;

    bool answersSite_ = false;
    Page page_ = Page::NotSited;
    std::wstring url_;
    Microsoft::WRL::ComPtr<IUnknown> site_;
    // The lock the page was last judged by, and its verdict.
    mutable std::shared_ptr<const sitelock::SiteLock> judgedBy_;
    mutable bool allowed_ = false;
};

}  // namespace mv::control
