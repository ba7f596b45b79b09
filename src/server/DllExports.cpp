// The DLL's loader entry point and class-object exports.
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
