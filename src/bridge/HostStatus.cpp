#include "bridge/HostStatus.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <set>
#include <string>

#include "bridge/BridgeVersion.h"
#include "bridge/HostLocation.h"
#include "bridge/HostManifest.h"
#include "bridge/HostRegistration.h"
#include "bridge/LoadedControl.h"
#include "bridge/Utf8Text.h"

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

// The control loaded as a page's request would load it, asked one question
// with a known answer and one about the client.
bool ControlAnswers(std::wstring& report) {
    const std::wstring path = ControlPathBesideHost();
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
        } else if (FAILED(control.get()->IsEnableCreateShortcut(1, &channel)) || channel == VARIANT_FALSE) {
            report = L"control  " + path + L": loads but does not answer";
        } else {
            control.get()->IsInstalled(&installed);
            report = L"control  " + path + L": loads and answers; the client is " +
                     (installed != VARIANT_FALSE ? L"installed" : L"not installed");
            answers = true;
        }
    }
    ::CoUninitialize();
    return answers;
}

}  // namespace

int PrintHostStatus() {
    const std::wstring exe = HostExecutablePath();
    Line(L"MivoBridge " MV_BRIDGE_VERSION_TEXT_W L" at " + exe);
    std::wstring controlReport;
    const bool controlOk = ControlAnswers(controlReport);
    Line(controlReport);

    std::set<std::wstring> ready;
    for (const BrowserKey& browser : BrowserKeys()) {
        for (const RegistrationScope scope : {RegistrationScope::User, RegistrationScope::Machine}) {
            const std::wstring head = Padded(browser.browser, 9) + Padded(ScopeName(scope), 8);
            const std::wstring manifest = RegisteredManifest(scope, browser);
            if (manifest.empty()) {
                Line(head + L"not registered");
                continue;
            }
            const ManifestCheck check = CheckManifest(manifest, browser.kind, exe);
            Line(head + L"registered, manifest " + manifest + L": " + Describe(check));
            if (check.verdict == ManifestVerdict::Ok) ready.insert(browser.browser);
        }
    }
    std::wstring browsers;
    for (const BrowserKey& browser : BrowserKeys())
        if (ready.count(browser.browser)) browsers += (browsers.empty() ? L"" : L", ") + std::wstring(browser.browser);
    if (!controlOk)
        Line(L"NOT READY: the control does not answer from the host's folder");
    else if (browsers.empty())
        Line(L"NOT READY: no browser will start this host (run MivoBridge.exe --register)");
    else
        Line(L"READY for " + browsers);
    return controlOk && !browsers.empty() ? 0 : 1;
}

}  // namespace mv::bridge
