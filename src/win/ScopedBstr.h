#pragma once
// Explicit BSTR ownership: nothing is adopted implicitly.
#include <windows.h>
#include <oleauto.h>
#include <cassert>
#include <string>
#include <string_view>
#include <utility>

namespace mv::win {

class ScopedBstr {
public:
    ScopedBstr() noexcept = default;
    explicit ScopedBstr(std::wstring_view text) : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    ScopedBstr(ScopedBstr&& other) noexcept : bstr_(other.Release()) {}
    ScopedBstr& operator=(ScopedBstr&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~ScopedBstr() { Reset(); }

    BSTR Get() const noexcept { return bstr_; }
    UINT Length() const noexcept { return ::SysStringLen(bstr_); }

    // Takes ownership of a BSTR allocated elsewhere.
    void Reset(BSTR value = nullptr) noexcept {
        if (bstr_ != value) ::SysFreeString(bstr_);
        bstr_ = value;
    }
    [[nodiscard]] BSTR Release() noexcept { return std::exchange(bstr_, nullptr); }

    // Out-parameter for a callee that allocates; must be empty beforehand.
    BSTR* Receive() noexcept {
        assert(bstr_ == nullptr);
        return &bstr_;
    }

private:
    BSTR bstr_ = nullptr;
};

// The script's text: up to the first NUL; a null BSTR is the empty text.
inline std::wstring TextOf(BSTR value) {
    return value ? std::wstring(value) : std::wstring();
}

}  // namespace mv::win
