#include "server/Module.h"

#include "MVDetectorAX_h.h"

namespace mv::com {
CAtlModule* _pAtlModule = nullptr;
}

namespace mv::server {

namespace {
CMVDetectorAXModule _AtlModule;
}

CMVDetectorAXModule::CMVDetectorAXModule() noexcept { SetLibId(LIBID_MVDetectorAXLib); }

HRESULT CMVDetectorAXModule::AddCommonRGSReplacements(void* registrar) noexcept {
    // Filled in with registration.
    (void)registrar;
    return E_NOTIMPL;
}

CMVDetectorAXModule& Module() noexcept { return _AtlModule; }

extern "C" IMAGE_DOS_HEADER __ImageBase;
HINSTANCE ModuleInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

}  // namespace mv::server
