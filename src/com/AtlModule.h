#pragma once
// The module base of the template layer: the lock count that decides when
// the DLL may unload, the static-data lock, and the termination functions
// run when the module object is destroyed.
#include <windows.h>
#include <objbase.h>
#include <vector>

#include "com/HResult.h"

namespace mv::com {

using TermFunc = void(__stdcall*)(DWORD_PTR data);

// Set by any module record whose lock could not be initialised at load; the
// loader entry point then refuses the process attach.
void MarkInitFailed() noexcept;
bool InitFailed() noexcept;

// A critical section that can report a failed initialisation.
class CComCriticalSection {
public:
    CComCriticalSection() noexcept = default;
    CComCriticalSection(const CComCriticalSection&) = delete;
    CComCriticalSection& operator=(const CComCriticalSection&) = delete;
    ~CComCriticalSection() { Term(); }

    HRESULT Init() noexcept {
        if (initialised_) return S_OK;
        if (!::InitializeCriticalSectionAndSpinCount(&section_, 0)) return HRESULT_FROM_WIN32(::GetLastError());
        initialised_ = true;
        return S_OK;
    }
    void Term() noexcept {
        if (initialised_) ::DeleteCriticalSection(&section_);
        initialised_ = false;
    }
    void Lock() noexcept { ::EnterCriticalSection(&section_); }
    void Unlock() noexcept { ::LeaveCriticalSection(&section_); }
    bool IsInitialised() const noexcept { return initialised_; }

private:
    CRITICAL_SECTION section_{};
    bool initialised_ = false;
};

class CComCritSecLock {
public:
    explicit CComCritSecLock(CComCriticalSection& cs) noexcept : cs_(cs) { cs_.Lock(); }
    CComCritSecLock(const CComCritSecLock&) = delete;
    CComCritSecLock& operator=(const CComCritSecLock&) = delete;
    ~CComCritSecLock() { cs_.Unlock(); }

private:
    CComCriticalSection& cs_;
};

class CAtlModule {
public:
    CAtlModule() noexcept;
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;
    virtual ~CAtlModule();

    virtual LONG Lock() noexcept { return ::InterlockedIncrement(&lockCount_); }
    virtual LONG Unlock() noexcept { return ::InterlockedDecrement(&lockCount_); }
    virtual LONG GetLockCount() noexcept { return lockCount_; }
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** git) noexcept;
    virtual HRESULT AddCommonRGSReplacements(void* registrar) noexcept = 0;

    // Registers `func(data)` to run when the module terminates, last added first.
    HRESULT AddTermFunc(TermFunc func, DWORD_PTR data) noexcept;
    void RunTermFuncs() noexcept;

    CComCriticalSection& StaticDataLock() noexcept { return staticDataLock_; }
    bool InitFailed() const noexcept { return com::InitFailed(); }
    const GUID& LibId() const noexcept { return libid_; }

protected:
    void SetLibId(const GUID& libid) noexcept { libid_ = libid; }

private:
    struct TermEntry {
        TermFunc func;
        DWORD_PTR data;
    };
    volatile LONG lockCount_ = 0;
    CComCriticalSection staticDataLock_;
    CComCriticalSection termLock_;
    std::vector<TermEntry> termFuncs_;
    IGlobalInterfaceTable* git_ = nullptr;
    GUID libid_{};
};

// The process's one module object (defined with the server module).
extern CAtlModule* _pAtlModule;

}  // namespace mv::com
