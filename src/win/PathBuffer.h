#pragma once
// The platform's fixed path buffer: 260 UTF-16 units, zero-filled, at most
// 259 characters and the terminator.
#include <windows.h>
#include <cwchar>
#include <string>
#include <string_view>

namespace mv::win {

class PathBuffer {
public:
    static constexpr size_t kCapacity = MAX_PATH;  // units, terminator included

    PathBuffer() noexcept { Clear(); }

    void Clear() noexcept { wmemset(units_, 0, kCapacity); }
    wchar_t* data() noexcept { return units_; }
    const wchar_t* c_str() const noexcept { return units_; }
    size_t size() const noexcept { return wcsnlen(units_, kCapacity); }
    bool empty() const noexcept { return units_[0] == L'\0'; }
    std::wstring str() const { return std::wstring(units_, size()); }

    // Appends all of `tail` or nothing: the buffer never holds a cut path.
    bool Append(std::wstring_view tail) noexcept {
        const size_t used = size();
        if (used + tail.size() > kCapacity - 1) return false;
        wmemcpy(units_ + used, tail.data(), tail.size());
        units_[used + tail.size()] = L'\0';
        return true;
    }

    bool Assign(std::wstring_view text) noexcept {
        Clear();
        return Append(text);
    }

private:
    wchar_t units_[kCapacity];
};

// The existence test used throughout: attributes can be read (file or folder).
inline bool PathExists(const wchar_t* path) noexcept {
    return path && path[0] && ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace mv::win
