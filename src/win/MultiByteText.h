#pragma once
// Bytes in a code page to UTF-16, the whole conversion or none of it.
#include <windows.h>

#include <climits>
#include <string>
#include <string_view>

namespace mv::win {

// False when the bytes do not convert (with MB_ERR_INVALID_CHARS: are not
// valid in the code page); `text` is then not to be used.
inline bool WideFromMultiByte(UINT codePage, DWORD flags, std::string_view bytes, std::wstring& text) {
    text.clear();
    if (bytes.empty()) return true;
    if (bytes.size() > INT_MAX) return false;
    const int size = static_cast<int>(bytes.size());
    const int units = ::MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (units <= 0) return false;
    text.resize(static_cast<size_t>(units));
    return ::MultiByteToWideChar(codePage, flags, bytes.data(), size, text.data(), units) == units;
}

}  // namespace mv::win
