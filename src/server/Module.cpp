#include "server/Module.h"

#include "MVDetectorAX_h.h"
#include "server/RegistrationScript.h"

namespace mv::com {
CAtlModule* _pAtlModule = nullptr;
}

namespace mv::server {

namespace {
CMVDetectorAXModule _AtlModule;
}

CMVDetectorAXModule::CMVDetectorAXModule() noexcept { SetLibId(LIBID_MVDetectorAXLib); }

HRESULT CMVDetectorAXModule::AddCommonRGSReplacements(void* registrar) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, registrar);
    return static_cast<IRegistrar*>(registrar)->AddReplacement(L"APPID", AppIdText());
}

CMVDetectorAXModule& Module() noexcept { return _AtlModule; }

extern "C" IMAGE_DOS_HEADER __ImageBase;
HINSTANCE ModuleInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

}  // namespace mv::server
