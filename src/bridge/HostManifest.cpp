#include "bridge/HostManifest.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "bridge/Utf8Text.h"
#include "win/UniqueHandle.h"

namespace mv::bridge {

namespace {

using nlohmann::json;

// A manifest is a few hundred bytes; anything far larger is not ours.
constexpr DWORD kMaxManifestBytes = 64 * 1024;

bool ListHolds(const json& manifest, const char* field, const char* wanted) {
    const auto list = manifest.find(field);
    if (list == manifest.end() || !list->is_array()) return false;
    for (const json& entry : *list)
        if (entry.is_string() && entry.get_ref<const std::string&>() == wanted) return true;
    return false;
}

// The field's text, or nothing for a field that is absent or not a string.
std::string StringField(const json& manifest, const char* field) {
    const auto value = manifest.find(field);
    return value != manifest.end() && value->is_string() ? value->get<std::string>() : std::string();
}

// The browsers resolve a relative "path" against the manifest's folder; the
// installer packages write one, as they cannot know the folder when built.
std::wstring ResolvedProgram(const std::wstring& named, const std::wstring& manifestPath) {
    const bool absolute =
        (named.size() >= 2 && named[1] == L':') || named.starts_with(L'\\') || named.starts_with(L'/');
    const size_t slash = manifestPath.find_last_of(L"\\/");
    if (absolute || slash == std::wstring::npos) return named;
    return manifestPath.substr(0, slash + 1) + named;
}

}  // namespace

bool ReadManifestFile(const std::wstring& path, std::string& bytes, bool& missing) {
    win::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    missing = !file && (::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND);
    if (!file) return false;
    bytes.resize(kMaxManifestBytes + 1);
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data(), kMaxManifestBytes + 1, &got, nullptr) || got > kMaxManifestBytes)
        return false;
    bytes.resize(got);
    return true;
}

std::span<const BrowserKey> BrowserKeys() noexcept { return kBrowserKeys; }

std::wstring ManifestPath(ManifestKind kind, const std::wstring& hostDirectory) {
    return hostDirectory + L"\\" + (kind == ManifestKind::Firefox ? kFirefoxManifestFile : kChromiumManifestFile);
}

std::string ManifestText(ManifestKind kind, const std::wstring& hostExe) {
    json manifest = json::object();
    manifest["name"] = kHostName;
    manifest["description"] = kHostDescription;
    manifest["path"] = Utf8FromWide(hostExe);
    manifest["type"] = "stdio";
    if (kind == ManifestKind::Firefox)
        manifest["allowed_extensions"] = json::array({kFirefoxAddonId});
    else
        manifest["allowed_origins"] = kChromeExtensionOrigins;
    return manifest.dump(2) + "\n";
}

ManifestCheck CheckManifest(const std::wstring& manifestPath, ManifestKind kind, const std::wstring& hostExe) {
    ManifestCheck check;
    std::string bytes;
    bool missing = false;
    if (!ReadManifestFile(manifestPath, bytes, missing)) {
        check.verdict = missing ? ManifestVerdict::Missing : ManifestVerdict::Unreadable;
        return check;
    }
    const json manifest = json::parse(bytes, nullptr, false);
    const auto path = manifest.is_object() ? manifest.find("path") : manifest.end();
    std::wstring named;
    if (!manifest.is_object() || path == manifest.end() || !path->is_string() ||
        !WideFromUtf8(path->get_ref<const std::string&>(), named)) {
        check.verdict = ManifestVerdict::Unreadable;
        return check;
    }
    check.namedProgram = named;
    if (StringField(manifest, "name") != kHostName || StringField(manifest, "type") != "stdio")
        check.verdict = ManifestVerdict::WrongHost;
    else if (!SamePath(ResolvedProgram(named, manifestPath), hostExe))
        check.verdict = ManifestVerdict::OtherProgram;
    else if (kind == ManifestKind::Firefox ? !ListHolds(manifest, "allowed_extensions", kFirefoxAddonId)
                                           : !std::ranges::all_of(kChromeExtensionOrigins, [&](const char* origin) {
                                                 return ListHolds(manifest, "allowed_origins", origin);
                                             }))
        check.verdict = ManifestVerdict::ExtensionNotAllowed;
    else
        check.verdict = ManifestVerdict::Ok;
    return check;
}

bool SamePath(const std::wstring& a, const std::wstring& b) noexcept {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

}  // namespace mv::bridge
