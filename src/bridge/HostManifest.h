#pragma once
// The host manifests the browsers read, and the registry keys that point to
// them. Names and ids are shared with the browser extension.
#include <windows.h>

#include <span>
#include <string>

namespace mv::bridge {

inline constexpr char kHostName[] = "com.mivo.detector";
inline constexpr char kChromeExtensionOrigin[] = "chrome-extension://cghpnbigjdjbpeelkgkgbjodnenhfdoc/";
inline constexpr char kFirefoxAddonId[] = "mivo-detector@mivo.com";

// Chrome, Chromium and Edge read one manifest ("allowed_origins"); Firefox
// another ("allowed_extensions").
enum class ManifestKind { Chromium, Firefox };

struct BrowserKey {
    const wchar_t* browser;
    const wchar_t* keyPath;  // under HKCU or HKLM; its default value is the manifest's path
    ManifestKind kind;
};

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
    ExtensionNotAllowed,   // our extension is not among the allowed callers
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
