#include "client/ControlDirectory.h"

#include <windows.h>
#include <shlwapi.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace mv::client {

namespace {

// A name cut at the buffer's end (no terminator written on XP, a cut one
// later) is no path of ours: leave the directory empty rather than guess.
bool ModuleDirectory(HMODULE module, win::PathBuffer& buffer) {
    buffer.Clear();
    const DWORD length = ::GetModuleFileNameW(module, buffer.data(), win::PathBuffer::kCapacity);
    if (length == 0 || length >= win::PathBuffer::kCapacity) {
        buffer.Clear();
        return false;
    }
    ::PathRemoveFileSpecW(buffer.data());
    return !buffer.empty();
}

}  // namespace

std::wstring ControlDirectory() {
    win::PathBuffer buffer;
    // By the fixed name, not by our own handle: a control loaded under another
    // name (or not at all) yields the host program's directory.
    return ModuleDirectory(::GetModuleHandleW(kControlFileName), buffer) ? buffer.str() : std::wstring();
}

bool OwnModuleDirectory(win::PathBuffer& directory) {
    return ModuleDirectory(reinterpret_cast<HMODULE>(&__ImageBase), directory);
}

}  // namespace mv::client
