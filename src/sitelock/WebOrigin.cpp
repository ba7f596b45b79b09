#include "sitelock/WebOrigin.h"

#include <windows.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <algorithm>

#include "win/ScopedBstr.h"
#include "win/SystemLibrary.h"

namespace mv::sitelock {

namespace {

bool IsAscii(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
}

// Looked up at run time: where the system lacks it, a host outside ASCII
// matches nothing rather than keeping the control from loading. The type is
// the SDK's own, so the pointer cannot disagree with it on the convention.
using IdnToAsciiFn = decltype(&::IdnToAscii);

std::wstring PunycodeOf(const std::wstring& host) {
    static const auto idnToAscii = reinterpret_cast<IdnToAsciiFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IdnToAscii")));
    if (!idnToAscii) return std::wstring();
    const int size = idnToAscii(0, host.c_str(), static_cast<int>(host.size()), nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring ascii(static_cast<size_t>(size), L'\0');
    if (idnToAscii(0, host.c_str(), static_cast<int>(host.size()), ascii.data(), size) != size) return std::wstring();
    return ascii;
}

// Every call of the site lock comes here: looked up once per process.
using CreateUriFn = decltype(&::CreateUri);
CreateUriFn CreateUriFunction() noexcept {
    static const CreateUriFn createUri = win::SystemLibrary(L"urlmon.dll").Function<CreateUriFn>("CreateUri");
    return createUri;
}

void LowerAscii(std::wstring& text) {
    for (auto& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
}

}  // namespace

std::optional<WebOrigin> ParseWebOrigin(std::wstring_view url) {
    // The parser reads up to a NUL: "https://a.test\0.b.test" must not pass as a.test.
    if (url.find(L'\0') != std::wstring_view::npos) return std::nullopt;
    const auto createUri = CreateUriFunction();
    if (!createUri) return std::nullopt;
    const std::wstring text(url);
    Microsoft::WRL::ComPtr<IUri> uri;
    if (FAILED(createUri(text.c_str(), Uri_CREATE_CANONICALIZE, 0, &uri))) return std::nullopt;

    WebOrigin origin{};
    DWORD scheme = URL_SCHEME_INVALID;
    if (FAILED(uri->GetScheme(&scheme))) return std::nullopt;
    if (scheme == URL_SCHEME_HTTPS) {
        origin.scheme = WebOrigin::Scheme::Https;
    } else if (scheme == URL_SCHEME_HTTP) {
        origin.scheme = WebOrigin::Scheme::Http;
    } else {
        return std::nullopt;
    }

    DWORD hostType = Uri_HOST_UNKNOWN;
    win::ScopedBstr host;
    if (FAILED(uri->GetHostType(&hostType)) || uri->GetHost(host.Receive()) != S_OK || host.Length() == 0)
        return std::nullopt;
    origin.host.assign(host.Get(), host.Length());
    switch (hostType) {
        case Uri_HOST_IPV4:
            origin.kind = WebOrigin::HostKind::Ipv4;
            return origin;
        case Uri_HOST_IPV6:
            origin.kind = WebOrigin::HostKind::Ipv6;
            return origin;
        case Uri_HOST_DNS:
        case Uri_HOST_IDN:
            break;
        default:
            return std::nullopt;
    }
    origin.kind = WebOrigin::HostKind::Name;
    if (!IsAscii(origin.host)) origin.host = PunycodeOf(origin.host);
    LowerAscii(origin.host);
    if (!origin.host.empty() && origin.host.back() == L'.') origin.host.pop_back();
    if (origin.host.empty()) return std::nullopt;
    return origin;
}

}  // namespace mv::sitelock
