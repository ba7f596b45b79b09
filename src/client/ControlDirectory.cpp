#include "client/ControlDirectory.h"

#include <windows.h>
#include <shlwapi.h>

#include "win/PathBuffer.h"

namespace mv::client {

std::wstring ControlDirectory() {
    win::PathBuffer buffer;
    // By the fixed name, not by our own handle: a control loaded under another
    // name (or not at all) yields the host program's directory.
    HMODULE module = ::GetModuleHandleW(kControlFileName);
    const DWORD length = ::GetModuleFileNameW(module, buffer.data(), win::PathBuffer::kCapacity);
    // A name cut at the buffer's end (no terminator written on XP, a cut one
    // later) is no path of ours: leave the directory empty rather than guess.
    if (length == 0 || length >= win::PathBuffer::kCapacity) return std::wstring();
    ::PathRemoveFileSpecW(buffer.data());
    return buffer.str();
}

}  // namespace mv::client
