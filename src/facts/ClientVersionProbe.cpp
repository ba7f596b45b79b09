#include "facts/ClientVersionProbe.h"

#include <memory>
#include <new>

#include "facts/ControlFilePath.h"
#include "win/PathBuffer.h"
#include "win/SystemLibrary.h"

namespace mv::facts {

namespace {

// Each part keeps its low 8 bits only, so none spills into its neighbour.
ULONG PackVersion(DWORD ms, DWORD ls) noexcept {
    const ULONG a = HIWORD(ms) & 0xFF, b = LOWORD(ms) & 0xFF;
    const ULONG c = HIWORD(ls) & 0xFF, d = LOWORD(ls) & 0xFF;
    return (a << 24) | (b << 16) | (c << 8) | d;
}

struct VersionFunctions {
    decltype(&::GetFileVersionInfoSizeW) size;
    decltype(&::GetFileVersionInfoW) read;
    decltype(&::VerQueryValueW) query;
};

const VersionFunctions& Version() noexcept {
    static const VersionFunctions functions = [] {
        const win::SystemLibrary dll(L"version.dll");
        return VersionFunctions{dll.Function<decltype(&::GetFileVersionInfoSizeW)>("GetFileVersionInfoSizeW"),
                                dll.Function<decltype(&::GetFileVersionInfoW)>("GetFileVersionInfoW"),
                                dll.Function<decltype(&::VerQueryValueW)>("VerQueryValueW")};
    }();
    return functions;
}

}  // namespace

ULONG ClientVersionProbe() {
    win::PathBuffer path;
    if (!ControlFilePath(kVersionFileName, path)) return 0;
    if (!win::PathExists(path.c_str())) return 0;
    const VersionFunctions& version = Version();
    if (!version.size || !version.read || !version.query) return 0;

    DWORD ignored = 0;
    const DWORD size = version.size(path.c_str(), &ignored);
    if (size == 0) return 0;
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size]());
    if (!block) return 0;
    if (!version.read(path.c_str(), 0, size, block.get())) return 0;

    void* root = nullptr;
    UINT length = 0;
    if (!version.query(block.get(), L"\\", &root, &length) || !root || length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(root);
    return PackVersion(info->dwFileVersionMS, info->dwFileVersionLS);
}

}  // namespace mv::facts
