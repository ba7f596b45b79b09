#pragma once
// Early-return helpers for HRESULT code. They refuse a BOOL (or any other
// type) at compile time: a BOOL is not an HRESULT, and TRUE would pass as a
// success code while FALSE would pass as S_OK.
#include <windows.h>
#include <new>
#include <type_traits>

namespace mv::com {

template <typename T>
constexpr HRESULT VerifyHResult(T hr) noexcept {
    static_assert(std::is_same_v<T, HRESULT>, "expression is not an HRESULT");
    return hr;
}

// Runs `body` and turns an escaping exception into an HRESULT, so that no
// exception crosses a COM boundary.
template <typename F>
HRESULT CatchReturn(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace mv::com

#define RETURN_IF_FAILED(expr)                                        \
    do {                                                              \
        const HRESULT mv_hr_ = ::mv::com::VerifyHResult(expr);        \
        if (FAILED(mv_hr_)) return mv_hr_;                            \
    } while (0)

#define RETURN_HR_IF_NULL(hr, ptr)                                    \
    do {                                                              \
        if ((ptr) == nullptr) return ::mv::com::VerifyHResult(hr);    \
    } while (0)
