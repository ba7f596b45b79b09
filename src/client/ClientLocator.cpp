#include "client/ClientLocator.h"

#include <windows.h>

#include "client/ControlDirectory.h"
#include "win/PathBuffer.h"
#include "win/UniqueHandle.h"

namespace mv::client {

namespace {

// The client's installer is a 32-bit program: the machine's path lies in the
// 32-bit registry view, which a 64-bit control has to ask for. The user's key
// is one for both views.
constexpr REGSAM kMachineClientView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0;

LSTATUS OpenClientKey(HKEY root, const wchar_t* subkey, REGSAM view, win::unique_hkey& key) {
    if (view == 0) return ::RegOpenKeyW(root, subkey, key.put());
    return ::RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE | view, key.put());
}

// Reads `value` of `subkey` into `buffer`, offering its full 520 bytes. The
// stored type is not examined: the bytes are taken as UTF-16 text. A value
// that does not fit is not read; a failed read leaves the buffer as it was.
void ReadPathValue(HKEY root, const wchar_t* subkey, REGSAM view, win::PathBuffer& buffer) {
    win::unique_hkey key;
    if (OpenClientKey(root, subkey, view, key) != ERROR_SUCCESS) return;
    DWORD bytes = win::PathBuffer::kCapacity * sizeof(wchar_t);
    ::RegQueryValueExW(key.get(), L"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    // The platform may fill all 260 units without a terminator: keep the text
    // within 259 so it can still be ended.
    buffer.data()[win::PathBuffer::kCapacity - 1] = L'\0';
}

}  // namespace

std::wstring ClientLocator() {
    win::PathBuffer buffer;
    ReadPathValue(HKEY_CURRENT_USER, kUserClientKey, 0, buffer);
    if (!win::PathExists(buffer.c_str())) {
        ReadPathValue(HKEY_LOCAL_MACHINE, kMachineClientKey, kMachineClientView, buffer);
        if (!win::PathExists(buffer.c_str())) buffer.Assign(ControlDirectory());
    }
    // The name is appended outside the fixed buffer: a directory too long for
    // it yields a path beyond the platform's limit, which no existence test,
    // shortcut target or process start accepts, instead of a cut path.
    std::wstring path = buffer.str();
    path += kClientExeName;
    return path;
}

}  // namespace mv::client
