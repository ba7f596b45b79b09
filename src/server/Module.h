#pragma once
// The server's module object: one per process.
#include "com/AtlModule.h"

namespace mv::server {

class CMVDetectorAXModule : public com::CAtlModule {
public:
    CMVDetectorAXModule() noexcept;

    // Adds "APPID" to a registrar (an IRegistrar*).
    HRESULT AddCommonRGSReplacements(void* registrar) noexcept override;

    static constexpr UINT kAppIdRegistryResource = 101;
    static constexpr UINT kClassRegistryResource = 102;
    static const wchar_t* AppIdText() noexcept { return L"{EFBD3336-BD5D-4DF5-A027-5AF9C7DA62A2}"; }
};

CMVDetectorAXModule& Module() noexcept;

// The image this code is linked into: the control's DLL, or a test program.
HINSTANCE ModuleInstance() noexcept;

}  // namespace mv::server
