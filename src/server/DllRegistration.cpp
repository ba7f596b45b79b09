// The DLL's registration exports.
#include <windows.h>

// Filled in with registration.
extern "C" HRESULT __stdcall DllRegisterServer() { return E_NOTIMPL; }
extern "C" HRESULT __stdcall DllUnregisterServer() { return E_NOTIMPL; }
extern "C" HRESULT __stdcall DllInstall(BOOL, LPCWSTR) { return E_NOTIMPL; }
