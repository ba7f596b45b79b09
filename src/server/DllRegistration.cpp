// The DLL's registration exports.
#include <windows.h>

#include "server/Registration.h"

extern "C" HRESULT __stdcall DllRegisterServer() {
    return mv::server::RegisterServer(mv::server::ServerRegistrationSource());
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
    return mv::server::UnregisterServer(mv::server::ServerRegistrationSource());
}

extern "C" HRESULT __stdcall DllInstall(BOOL install, LPCWSTR commandLine) {
    return mv::server::InstallServer(mv::server::ServerRegistrationSource(), install, commandLine);
}
