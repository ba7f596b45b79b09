#pragma once
// Where the host runs from: the control and the manifests live beside it.
#include <string>

namespace mv::bridge {

// Full path of the running host program; empty when unknown.
std::wstring HostExecutablePath();
// Its folder, without a trailing backslash.
std::wstring HostDirectory();
// The control of the host's own bitness in that folder (kControlFileName).
std::wstring ControlPathBesideHost();

}  // namespace mv::bridge
