#pragma once
// Running a registry script of the module through the platform's registrar
// (the "ATL.Registrar" class of atl.dll), which parses and applies it.
#include <windows.h>
#include <objbase.h>

#include <initializer_list>
#include <string>

namespace mv::server {

// The registrar's interfaces, declared from their documented shape: the
// MinGW headers have none.
struct IRegistrarBase : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
};

struct IRegistrar : public IRegistrarBase {
    virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR resFileName, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR resFileName, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR resFileName, UINT id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR resFileName, UINT id, LPCOLESTR type) = 0;
};

// {44EC053A-400F-11D0-9DCD-00A0C90391D3}
inline constexpr CLSID CLSID_Registrar = {
    0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
// {44EC053B-400F-11D0-9DCD-00A0C90391D3}
inline constexpr IID IID_IRegistrar = {
    0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

struct Replacement {
    const wchar_t* key;
    const wchar_t* value;
};

// UnregisterClassId undoes only the script's "NoRemove CLSID" block: the
// keys of this registry view's class, where another view still needs the rest.
enum class ScriptAction { Register, Unregister, UnregisterClassId };

// Runs the REGISTRY resource `resourceId` of `module`'s file. The registrar
// gets `replacements`, the module's common ones and "MODULE" (the module's
// path). With `perUser`, what the script writes to HKCR goes to the current
// user's classes key instead.
HRESULT RunRegistryScript(HINSTANCE module, UINT resourceId, ScriptAction action, bool perUser,
                          std::initializer_list<Replacement> replacements) noexcept;

// `path` made safe inside a single-quoted script string: each ' doubled.
std::wstring QuotedScriptText(const std::wstring& path);

// The full path of a module's file, as the loader reports it.
HRESULT ModuleFilePath(HINSTANCE module, std::wstring& path);

}  // namespace mv::server
