#include "bridge/HostLocation.h"

#include <windows.h>

#include "client/ControlDirectory.h"

namespace mv::bridge {

std::wstring HostExecutablePath() {
    // The client's folder may lie deeper than MAX_PATH: grow until the name fits.
    for (DWORD capacity = MAX_PATH; capacity <= 32768 * 2; capacity *= 2) {
        std::wstring path(capacity, L'\0');
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), capacity);
        if (length == 0) return std::wstring();
        if (length < capacity) {
            path.resize(length);
            return path;
        }
    }
    return std::wstring();
}

std::wstring HostDirectory() {
    const std::wstring exe = HostExecutablePath();
    const size_t slash = exe.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
}

std::wstring ControlPathBesideHost() { return HostDirectory() + L"\\" + client::kControlFileName; }

}  // namespace mv::bridge
