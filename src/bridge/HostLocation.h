#pragma once
// Where the host runs from: the control and the manifests live beside it.
#include <string>

namespace mv::bridge {

// Full path of MivoBridge.exe (of the running program); empty when unknown.
std::wstring HostExecutablePath();
// Its folder, without a trailing backslash.
std::wstring HostDirectory();
// MivoDetector.dll in that folder.
std::wstring ControlPathBesideHost();

}  // namespace mv::bridge
