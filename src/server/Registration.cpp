#include "server/Registration.h"

#include <atomic>

#include "com/HResult.h"
#include "server/Module.h"
#include "server/RegistrationScript.h"
#include "server/RegistrationTypeLib.h"
#include "server/ResourceIds.h"
#include "server/SideBySide.h"

namespace mv::server {

static_assert(CMVDetectorAXModule::kAppIdRegistryResource == IDR_MVDETECTORAX);
static_assert(CMVDetectorAXModule::kClassRegistryResource == IDR_MVDETECTOR);

namespace {

std::atomic<bool> perUserRegistration{false};

// The registrar and the type library functions run under the system default
// locale; the caller's thread locale comes back on every way out.
class SystemThreadLocale {
public:
    SystemThreadLocale() noexcept : saved_(::GetThreadLocale()) { ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemThreadLocale() { ::SetThreadLocale(saved_); }
    SystemThreadLocale(const SystemThreadLocale&) = delete;
    SystemThreadLocale& operator=(const SystemThreadLocale&) = delete;

private:
    LCID saved_;
};

HRESULT RunAppIdScript(const RegistrationSource& source, ScriptAction action) noexcept {
    return RunRegistryScript(source.module, source.appIdScript, action, PerUserRegistration(),
                             {{L"APPID", CMVDetectorAXModule::AppIdText()}});
}

HRESULT RunClassScript(const RegistrationSource& source, ScriptAction action) noexcept {
    return RunRegistryScript(source.module, source.classScript, action, PerUserRegistration(), {});
}

// Undoes the registration; `keepGoing` runs every step even past a failure
// and reports the first. While the other bitness's control is registered in
// its view, only this view's class key and this platform's type library entry
// go: the ProgIDs, the AppID and the rest of the TypeLib key are shared with
// it, and so are the interface keys, which the type library functions write
// to both views and remove from both.
HRESULT Unregister(const RegistrationSource& source, bool keepGoing) noexcept {
    std::wstring modulePath;
    RETURN_IF_FAILED(ModuleFilePath(source.module, modulePath));
    const bool sideBySide = OtherViewRegistersClass(PerUserRegistration(), modulePath);
    HRESULT first = S_OK;
    const auto step = [&](HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
        return keepGoing || SUCCEEDED(hr);
    };
    if (sideBySide) {
        if (!step(RunClassScript(source, ScriptAction::UnregisterClassId))) return first;
        step(UnregisterTypeLibraryPlatform(source.module));
        return first;
    }
    if (!step(RunClassScript(source, ScriptAction::Unregister))) return first;
    if (!step(UnregisterTypeLibrary(source.module, PerUserRegistration()))) return first;
    step(RunAppIdScript(source, ScriptAction::Unregister));
    return first;
}

}  // namespace

RegistrationSource ServerRegistrationSource() noexcept {
    return {ModuleInstance(), CMVDetectorAXModule::kAppIdRegistryResource,
            CMVDetectorAXModule::kClassRegistryResource};
}

bool IsPerUserCommandLine(const wchar_t* commandLine) noexcept {
    if (!commandLine) return false;
    constexpr wchar_t kUser[] = L"user";
    // Five units, the terminator included: "users" does not match.
    for (size_t i = 0; i < sizeof(kUser) / sizeof(kUser[0]); ++i) {
        wchar_t c = commandLine[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != kUser[i]) return false;
    }
    return true;
}

void SetPerUserRegistration(bool on) noexcept { perUserRegistration = on; }
bool PerUserRegistration() noexcept { return perUserRegistration; }

HRESULT RegisterServer(const RegistrationSource& source) noexcept {
    SystemThreadLocale locale;
    RETURN_IF_FAILED(RunAppIdScript(source, ScriptAction::Register));
    RETURN_IF_FAILED(RunClassScript(source, ScriptAction::Register));
    return RegisterTypeLibrary(source.module, PerUserRegistration());
}

HRESULT UnregisterServer(const RegistrationSource& source) noexcept {
    SystemThreadLocale locale;
    return Unregister(source, false);
}

HRESULT InstallServer(const RegistrationSource& source, BOOL install, const wchar_t* commandLine) noexcept {
    if (IsPerUserCommandLine(commandLine)) SetPerUserRegistration(true);
    if (!install) return UnregisterServer(source);

    const HRESULT hr = RegisterServer(source);
    if (FAILED(hr)) {
        // The roll-back goes on past a step that fails, so that what the
        // earlier steps wrote does not stay behind: a class script that could
        // not run would otherwise keep the application entry registered.
        SystemThreadLocale locale;
        (void)Unregister(source, true);
    }
    return hr;
}

}  // namespace mv::server
