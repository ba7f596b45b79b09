#pragma once
// One owning type per kind of handle: closed on every path by construction.
#include <windows.h>
#include <utility>

namespace mv::win {

template <typename Traits>
class unique_any {
public:
    using pointer = typename Traits::pointer;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    void reset(pointer value = Traits::invalid()) noexcept {
        if (value_ != Traits::invalid()) Traits::close(value_);
        value_ = value;
    }
    [[nodiscard]] pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

    // For out-parameters: the wrapper must be empty, so nothing leaks.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

struct HKeyTraits {
    using pointer = HKEY;
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY key) noexcept { ::RegCloseKey(key); }
};

struct HandleTraits {
    using pointer = HANDLE;
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};

// Handles whose "none" value is INVALID_HANDLE_VALUE (CreateFileW).
struct FileHandleTraits {
    using pointer = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using pointer = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::FindClose(h); }
};

struct ModuleTraits {
    using pointer = HMODULE;
    static HMODULE invalid() noexcept { return nullptr; }
    static void close(HMODULE m) noexcept { ::FreeLibrary(m); }
};

using unique_hkey = unique_any<HKeyTraits>;
using unique_handle = unique_any<HandleTraits>;
using unique_file = unique_any<FileHandleTraits>;
using unique_find_handle = unique_any<FindHandleTraits>;
using unique_module = unique_any<ModuleTraits>;

// PROCESS_INFORMATION owns two handles; the process one is closed first.
class unique_process_information {
public:
    unique_process_information() noexcept = default;
    unique_process_information(const unique_process_information&) = delete;
    unique_process_information& operator=(const unique_process_information&) = delete;
    ~unique_process_information() { reset(); }

    PROCESS_INFORMATION* put() noexcept {
        reset();
        return &info_;
    }
    const PROCESS_INFORMATION& get() const noexcept { return info_; }

    void reset() noexcept {
        if (info_.hProcess) ::CloseHandle(info_.hProcess);
        if (info_.hThread) ::CloseHandle(info_.hThread);
        info_ = {};
    }

private:
    PROCESS_INFORMATION info_{};
};

}  // namespace mv::win
