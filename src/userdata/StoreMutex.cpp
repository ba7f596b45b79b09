#include "userdata/StoreMutex.h"

#include <cwchar>
#include <string>

namespace mv::userdata {

namespace {

// Object names are limited in length and may not hold backslashes, so the
// path is reduced to a hash of its upper-cased form.
std::wstring ObjectNameFor(const wchar_t* path) {
    std::wstring upper(path);
    if (!upper.empty()) ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : upper) {
        hash ^= static_cast<uint16_t>(unit);
        hash *= 1099511628211ull;
    }
    wchar_t name[64] = {};
    swprintf(name, 64, L"MivoDetector.UserData.%016llX", static_cast<unsigned long long>(hash));
    return name;
}

}  // namespace

StoreMutex::StoreMutex(const wchar_t* path) {
    if (!path || !path[0]) return;
    const std::wstring name = ObjectNameFor(path);
    mutex_.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
    // A section of one counter, zero when the first process makes it.
    mapping_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG),
                                        (name + L".Saves").c_str()));
    if (mapping_)
        counter_ = static_cast<volatile LONG*>(::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
}

StoreMutex::~StoreMutex() {
    if (counter_) ::UnmapViewOfFile(const_cast<LONG*>(counter_));
}

StoreMutex::Hold::Hold(const StoreMutex& owner) {
    if (!owner.mutex_) return;
    const DWORD result = ::WaitForSingleObject(owner.mutex_.get(), kLockWaitMs);
    owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    if (owned_) mutex_ = owner.mutex_.get();
}

StoreMutex::Hold::~Hold() {
    if (mutex_) ::ReleaseMutex(mutex_);
}

uint32_t StoreMutex::Generation() const {
    return counter_ ? static_cast<uint32_t>(*counter_) : 0;
}

void StoreMutex::CountSave() {
    if (counter_) ::InterlockedIncrement(counter_);
}

}  // namespace mv::userdata
