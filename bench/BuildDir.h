#pragma once
// Where the build put the benchmarks' subjects: each benchmark runs from
// build\bench.
#include <windows.h>

#include <string>

namespace mv::bench {

inline std::wstring BuildDir() {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    path.resize(path.find_last_of(L'\\'));  // build\bench
    path.resize(path.find_last_of(L'\\'));  // build
    return path;
}

}  // namespace mv::bench
