#include "server/RegistrationScript.h"

#include "com/HResult.h"
#include "server/Module.h"
#include "server/SideBySide.h"
#include "win/MultiByteText.h"
#include "win/UniqueHandle.h"

#include <memory>

namespace mv::server {

namespace {

// COM for the registrar's lifetime, when the caller has not set it up: some
// installers call the exports straight after LoadLibrary.
class ComScope {
public:
    ComScope() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

// While alive, HKEY_CLASSES_ROOT of this process is HKCU\Software\Classes.
class ClassesRootRedirection {
public:
    ClassesRootRedirection() = default;
    ClassesRootRedirection(const ClassesRootRedirection&) = delete;
    ClassesRootRedirection& operator=(const ClassesRootRedirection&) = delete;
    ~ClassesRootRedirection() {
        if (active_) ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    }

    HRESULT Begin() noexcept {
        win::unique_hkey classes;
        LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, classes.put(), nullptr);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        // The override keeps a handle of its own: ours may close.
        status = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.get());
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        active_ = true;
        return S_OK;
    }

private:
    bool active_ = false;
};

struct ReleaseRegistrar {
    void operator()(IRegistrar* registrar) const noexcept { registrar->Release(); }
};

// The REGISTRY resource's text, read as the registrar reads it: ANSI.
HRESULT ScriptText(HINSTANCE module, UINT resourceId, std::wstring& text) {
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
    const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!bytes) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    return win::WideFromMultiByte(CP_ACP, 0, std::string_view(bytes, ::SizeofResource(module, found)), text)
               ? S_OK
               : HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
}

HRESULT UnregisterClassIdBlock(IRegistrar* registrar, HINSTANCE module, UINT resourceId) {
    std::wstring script;
    RETURN_IF_FAILED(ScriptText(module, resourceId, script));
    const std::wstring classId = ClassIdOnlyScript(script);
    if (classId.empty()) return E_UNEXPECTED;
    return registrar->StringUnregister(classId.c_str());
}

}  // namespace

HRESULT ModuleFilePath(HINSTANCE module, std::wstring& path) {
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = ::GetModuleFileNameW(module, path.data(), size);
        if (length == 0) {
            const DWORD error = ::GetLastError();
            return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        }
        if (length < size) {
            path.resize(length);
            return S_OK;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring QuotedScriptText(const std::wstring& text) {
    std::wstring quoted;
    quoted.reserve(text.size());
    for (const wchar_t c : text) {
        quoted += c;
        if (c == L'\'') quoted += L'\'';
    }
    return quoted;
}

HRESULT RunRegistryScript(HINSTANCE module, UINT resourceId, ScriptAction action, bool perUser,
                          std::initializer_list<Replacement> replacements) noexcept {
    return com::CatchReturn([&]() -> HRESULT {
        std::wstring path;
        RETURN_IF_FAILED(ModuleFilePath(module, path));

        ComScope com;
        IRegistrar* raw = nullptr;
        RETURN_IF_FAILED(::CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                            reinterpret_cast<void**>(&raw)));
        const std::unique_ptr<IRegistrar, ReleaseRegistrar> registrar(raw);

        for (const Replacement& replacement : replacements)
            RETURN_IF_FAILED(registrar->AddReplacement(replacement.key, replacement.value));
        RETURN_IF_FAILED(Module().AddCommonRGSReplacements(registrar.get()));
        // The script puts %MODULE% inside single quotes.
        RETURN_IF_FAILED(registrar->AddReplacement(L"MODULE", QuotedScriptText(path).c_str()));

        // Only now: creating the registrar looked its class up in the
        // machine's classes root.
        ClassesRootRedirection redirection;
        if (perUser) RETURN_IF_FAILED(redirection.Begin());
        switch (action) {
            case ScriptAction::Register: return registrar->ResourceRegister(path.c_str(), resourceId, L"REGISTRY");
            case ScriptAction::Unregister: return registrar->ResourceUnregister(path.c_str(), resourceId, L"REGISTRY");
            case ScriptAction::UnregisterClassId: return UnregisterClassIdBlock(registrar.get(), module, resourceId);
        }
        return E_INVALIDARG;
    });
}

}  // namespace mv::server
