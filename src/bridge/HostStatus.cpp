#include "bridge/HostStatus.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <set>
#include <string>

#include "bridge/BridgeVersion.h"
#include "bridge/BrowserPolicy.h"
#include "bridge/HostLocation.h"
#include "bridge/HostManifest.h"
#include "bridge/HostRegistration.h"
#include "bridge/LoadedControl.h"
#include "bridge/Utf8Text.h"
#include "ProductNames.h"
#include "facts/ControlFilePath.h"
#include "sitelock/SiteLock.h"

namespace mv::bridge {

namespace {

void Line(const std::wstring& text) { std::fputs(Utf8FromWide(text + L"\n").c_str(), stdout); }

std::wstring Padded(std::wstring text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), L' ');
    return text;
}

std::wstring Describe(const ManifestCheck& check) {
    switch (check.verdict) {
        case ManifestVerdict::Ok: return L"names this host";
        case ManifestVerdict::Missing: return L"the manifest file is missing";
        case ManifestVerdict::Unreadable: return L"the manifest cannot be read as a host manifest";
        case ManifestVerdict::WrongHost: return L"the manifest is not for com.mivo.detector (stdio)";
        case ManifestVerdict::OtherProgram: return L"the manifest names another program: " + check.namedProgram;
        case ManifestVerdict::ExtensionNotAllowed: return L"the manifest does not allow the Mivo extension";
    }
    return L"";
}

// The control loaded as a page's request would load it, shown `page` (a page
// of a locked installation), asked one question with a known answer and one
// about the client.
bool ControlAnswers(const std::wstring& path, const std::wstring& page, std::wstring& report) {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        report = L"control  COM could not be started";
        return false;
    }
    bool answers = false;
    {
        LoadedControl control;
        std::string why;
        VARIANT_BOOL channel = VARIANT_FALSE, installed = VARIANT_FALSE;
        if (FAILED(control.Load(path, why))) {
            std::wstring reason;
            WideFromUtf8(why, reason);
            report = L"control  " + path + L": " + reason;
        } else {
            control.ShowPage(page);
            if (FAILED(control.get()->IsEnableCreateShortcut(1, &channel)) || channel == VARIANT_FALSE) {
                report = L"control  " + path + L": loads but does not answer";
            } else {
                control.get()->IsInstalled(&installed);
                report = L"control  " + path + L": loads and answers; the client is " +
                         (installed != VARIANT_FALSE ? L"installed" : L"not installed");
                answers = true;
            }
        }
    }
    ::CoUninitialize();
    return answers;
}

// Whether pages are let in at all, and which lines of the section are no
// rule: a mistyped rule lets nothing in, and says so nowhere else.
void ReportSiteLock(const std::wstring& config, const sitelock::SiteLock& lock) {
    std::wstring head = L"sitelock " + config + L": ";
    if (!lock.encoding().empty() && lock.Readable()) head += L"read as " + lock.encoding() + L"; ";
    if (!lock.Readable())
        Line(head + L"cannot be read (" + lock.why() + L"); every site is refused until it can");
    else if (!lock.Locked())
        Line(head + L"no [sitelock] section; every site may use the control");
    else if (lock.rules().empty())
        Line(head + L"locked, but no rule is valid; every site is refused");
    else
        Line(head + L"locked to " + std::to_wstring(lock.rules().size()) +
             (lock.rules().size() == 1 ? L" rule" : L" rules"));
    for (const std::wstring& line : lock.ignored()) Line(L"sitelock ignored, not a rule: " + line);
}

}  // namespace

int PrintHostStatus() {
    const std::wstring exe = HostExecutablePath();
    Line(L"MivoBridge " MV_BRIDGE_VERSION_TEXT_W L" at " + exe);
    const std::wstring control = ControlPathBesideHost();
    const std::wstring config = HostDirectory() + facts::kConfigFileName;
    const sitelock::SiteLock lock = sitelock::ReadSiteLock(config.c_str());
    const bool letsIn = !lock.Locked() || !lock.rules().empty();
    // A locked control answers only a page its rules allow, as it serves pages.
    std::wstring controlReport = L"control  " + control + L": not asked, the site lock lets no site in";
    const bool controlOk =
        letsIn && ControlAnswers(control, lock.Locked() ? lock.rules().front().ExampleOrigin() : L"", controlReport);
    Line(controlReport);
    ReportSiteLock(config, lock);

    std::set<std::wstring> ready;
    bool keptOut = false;  // a registration that would serve a browser, but for a policy
    for (const BrowserKey& browser : BrowserKeys()) {
        const HostPolicy policy = ReadHostPolicy(browser);
        bool served[2] = {false, false};
        for (const RegistrationScope scope : {RegistrationScope::User, RegistrationScope::Machine}) {
            const std::wstring head = Padded(browser.browser, 9) + Padded(ScopeName(scope), 8);
            const std::wstring manifest = RegisteredManifest(scope, browser);
            if (manifest.empty()) {
                Line(head + L"not registered");
                continue;
            }
            const ManifestCheck check = CheckManifest(manifest, browser.kind, exe);
            Line(head + L"registered, manifest " + manifest + L": " + Describe(check));
            served[scope == RegistrationScope::Machine] = check.verdict == ManifestVerdict::Ok;
        }
        if (!policy.blocked && (served[1] || (served[0] && policy.userLevelHosts)))
            ready.insert(browser.browser);
        else
            keptOut |= served[0] || served[1];
        const std::wstring head = Padded(browser.browser, 9) + Padded(L"policy", 8);
        if (!policy.userLevelHosts)
            Line(head + L"NativeMessagingUserLevelHosts = 0 (" + policy.userLevelSource + L"): " + browser.browser +
                 (served[1] ? L" starts only the per-machine registration"
                            : L" starts only hosts registered per machine; install per machine (ALLUSERS=1, or "
                              MV_BRIDGE_FILE_NAME " --register --machine)"));
        if (policy.blocked)
            Line(head + L"NativeMessagingBlocklist (" + policy.blockSource + L") blocks com.mivo.detector; allow it: "
                 L"add \"com.mivo.detector\" to " + (policy.allowSource.empty() ? policy.blockSource : policy.allowSource) +
                 L"\\" + PolicyKeyPath(browser) + L"\\NativeMessagingAllowlist");
    }
    std::wstring browsers;
    for (const BrowserKey& browser : BrowserKeys())
        if (ready.count(browser.browser)) browsers += (browsers.empty() ? L"" : L", ") + std::wstring(browser.browser);
    if (!letsIn)
        Line(L"NOT READY: the site lock lets no site in");
    else if (!controlOk)
        Line(L"NOT READY: the control does not answer from the host's folder");
    else if (browsers.empty() && keptOut)
        Line(L"NOT READY: no browser will start this host: policies keep the registered ones from it (above)");
    else if (browsers.empty())
        Line(L"NOT READY: no browser will start this host (run " MV_BRIDGE_FILE_NAME " --register)");
    else
        Line(L"READY for " + browsers);
    return controlOk && !browsers.empty() ? 0 : 1;
}

}  // namespace mv::bridge
