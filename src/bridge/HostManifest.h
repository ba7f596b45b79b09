#pragma once
// The host manifests the browsers read, and the registry keys that point to
// them. Names and ids are shared with the browser extension.
#include <windows.h>

#include <span>
#include <string>

#include "HostIdentity.h"

namespace mv::bridge {

std::span<const BrowserKey> BrowserKeys() noexcept;

// The manifest's file beside the host.
std::wstring ManifestPath(ManifestKind kind, const std::wstring& hostDirectory);
// Its text, naming `hostExe`.
std::string ManifestText(ManifestKind kind, const std::wstring& hostExe);

enum class ManifestVerdict {
    Ok,                    // names this host, for our extension
    Missing,               // no such file
    Unreadable,            // not a manifest
    WrongHost,             // another host name or type
    OtherProgram,          // names another executable
    ExtensionNotAllowed,   // one of our extension's ids is not among the allowed callers
};

struct ManifestCheck {
    ManifestVerdict verdict = ManifestVerdict::Missing;
    std::wstring namedProgram;  // its "path", when it has one
};

// A manifest's bytes; false when it cannot be read or is far larger than any
// manifest, `missing` telling whether it is absent.
bool ReadManifestFile(const std::wstring& path, std::string& bytes, bool& missing);

ManifestCheck CheckManifest(const std::wstring& manifestPath, ManifestKind kind, const std::wstring& hostExe);

bool SamePath(const std::wstring& a, const std::wstring& b) noexcept;

}  // namespace mv::bridge
