// The DLL's loader entry point and class-object exports.
#include <windows.h>
#include <objbase.h>

#include "server/Module.h"
#include "server/ObjectMap.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    // Static initialisation ran before us; a lock that failed to initialise
    // makes the load fail. Clean-up at detach is left to static destruction.
    if (reason == DLL_PROCESS_ATTACH) return mv::server::Module().InitFailed() ? FALSE : TRUE;
    return TRUE;
}

// Live objects, client references to the class object beyond the map's own,
// and outstanding LockServer(TRUE) calls all count here.
extern "C" HRESULT __stdcall DllCanUnloadNow() {
    return mv::server::Module().GetLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return mv::com::AtlComModuleGetClassObject(mv::server::ComModule(), clsid, iid, out);
}
