#pragma once
// What the processes that share one store file agree on: a named mutex
// that serialises their loads and saves, and a counter of saves that tells
// each of them whether its document is still the latest.
#include <windows.h>

#include <cstdint>

#include "win/UniqueHandle.h"

namespace mv::userdata {

class StoreMutex {
public:
    // Both objects are named after `path`, compared without regard to case
    // as the file system does; an empty path gives an object that locks
    // nothing and counts nothing.
    explicit StoreMutex(const wchar_t* path);
    StoreMutex(const StoreMutex&) = delete;
    StoreMutex& operator=(const StoreMutex&) = delete;
    ~StoreMutex();

    // Owns the mutex for its scope, if it can be had within kLockWaitMs. A
    // process that died holding it has left the file whole (saves replace it
    // in one step), so that counts as free.
    class Hold {
    public:
        explicit Hold(const StoreMutex& owner);
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();

        // False when another holder kept the mutex past the wait: the file
        // must then be neither read nor written. An object without a mutex
        // (no file, or none could be made) always counts as held.
        bool owned() const { return owned_; }

    private:
        HANDLE mutex_ = nullptr;
        bool owned_ = true;
    };

    // The page's thread is frozen while it waits. A save of the largest file
    // the store allows holds the mutex for a small fraction of this, so only
    // a holder that hangs makes a call give up.
    static constexpr DWORD kLockWaitMs = 2000;

    // Saves of the file by any process since the first of them opened it.
    // A read of shared memory: no call into the kernel.
    uint32_t Generation() const;
    // False when the counter could not be shared: Generation() then tells
    // nothing.
    bool Counts() const { return counter_ != nullptr; }
    void CountSave();

private:
    win::unique_handle mutex_;
    win::unique_handle mapping_;
    volatile LONG* counter_ = nullptr;
};

}  // namespace mv::userdata
