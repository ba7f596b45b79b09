#pragma once
// The control created from MivoDetector.dll by full path, through the DLL's
// own class object: no registration is needed or consulted.
#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "MVDetectorAX_h.h"
#include "win/UniqueHandle.h"

namespace mv::bridge {

class LoadedControl {
public:
    LoadedControl() = default;
    LoadedControl(const LoadedControl&) = delete;
    LoadedControl& operator=(const LoadedControl&) = delete;

    // Loads the DLL and creates the control; on failure `why` says what went
    // wrong in plain words. Needs an apartment on the calling thread.
    HRESULT Load(const std::wstring& dllPath, std::string& why);

    IMVDetectorCOM* get() const noexcept { return control_.Get(); }

    // A control of a locked installation serves only the page its site shows:
    // it is shown the request's origin, which the host has already let in.
    // False when the control takes no site: it was made while the
    // installation was open.
    bool ShowPage(const std::wstring& origin);

private:
    // Declared first, so released last: the object's code lives in the DLL.
    win::unique_module module_;
    Microsoft::WRL::ComPtr<IMVDetectorCOM> control_;
};

}  // namespace mv::bridge
