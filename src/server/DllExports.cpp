// The DLL's entry points.
#include <windows.h>
#include <objbase.h>

#include "server/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    // Static initialisation ran before us; a lock that failed to initialise
    // makes the load fail.
    if (reason == DLL_PROCESS_ATTACH) return mv::server::Module().InitFailed() ? FALSE : TRUE;
    return TRUE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
    return mv::server::Module().GetLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void** out) {
    // Filled in with the class factory.
    if (!out) return E_POINTER;
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT __stdcall DllRegisterServer() { return E_NOTIMPL; }
extern "C" HRESULT __stdcall DllUnregisterServer() { return E_NOTIMPL; }
extern "C" HRESULT __stdcall DllInstall(BOOL, LPCWSTR) { return E_NOTIMPL; }
