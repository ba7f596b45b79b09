#include "control/MVDetector.h"

#include <string>

#include "client/ClientLocator.h"
#include "client/CommandVerbs.h"
#include "com/HResult.h"
#include "facts/ClientFacts.h"
#include "facts/ClientVersionProbe.h"
#include "shortcuts/ShortcutScanner.h"
#include "userdata/UserDataStore.h"
#include "win/PathBuffer.h"
#include "win/ScopedBstr.h"

namespace mv::control {

namespace {

constexpr ULONG kFirstDownloadVersion = 0x02010000;  // 2.1.0.0

VARIANT_BOOL ToVariantBool(bool value) noexcept { return value ? VARIANT_TRUE : VARIANT_FALSE; }

bool ClientInstalled() {
    const std::wstring path = client::ClientLocator();
    return win::PathExists(path.c_str());
}

// A new BSTR for the caller; empty, never null, for an empty text.
HRESULT WriteText(const std::wstring& text, BSTR* out) {
    win::ScopedBstr value(text);
    if (!value.Get()) return E_OUTOFMEMORY;
    *out = value.Release();
    return S_OK;
}

}  // namespace

bool IsShortcutChannel(long cid) noexcept {
    switch (cid) {
        case 1: case 2: case 6: case 7: case 8: case 16:
            return true;
        default:
            return false;
    }
}

HRESULT CMVDetector::FinalConstruct() noexcept {
    return com::CatchReturn([&] {
        gate_.ReadLock();
        return S_OK;
    });
}

HRESULT CMVDetector::QueryObjectWithSite(void* self, REFIID, void** out, DWORD_PTR) noexcept {
    auto* detector = static_cast<CMVDetector*>(self);
    if (!detector->gate_.AnswersSite()) return E_NOINTERFACE;
    IObjectWithSite* face = detector;
    face->AddRef();
    *out = face;
    return S_OK;
}

HRESULT CMVDetector::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD options) noexcept {
    if (gate_.PageRefused()) return E_FAIL;
    return IObjectSafetyImpl::SetInterfaceSafetyOptions(riid, mask, options);
}

HRESULT CMVDetector::SetSite(IUnknown* site) noexcept {
    return com::CatchReturn([&] {
        gate_.SetSite(site);
        return S_OK;
    });
}

HRESULT CMVDetector::GetSite(REFIID riid, void** site) noexcept { return gate_.GetSite(riid, site); }

HRESULT CMVDetector::IsMiVoVAReady(VARIANT_BOOL* ready) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!ready) return S_OK;
    return com::CatchReturn([&] {
        *ready = ToVariantBool(ClientInstalled());
        return S_OK;
    });
}

HRESULT CMVDetector::StartMiVoVA() noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    return com::CatchReturn([&] {
        client::StartVerb();
        return S_OK;
    });
}

HRESULT CMVDetector::IsInstalled(VARIANT_BOOL* installed) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!installed) return S_OK;
    return com::CatchReturn([&] {
        *installed = ToVariantBool(ClientInstalled());
        return S_OK;
    });
}

HRESULT CMVDetector::IsSupportDownload(VARIANT_BOOL* supported) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    ULONG version = 0;
    GetMivoVAVersion(&version);  // through the interface, as a script would
    if (!supported) return S_OK;
    *supported = ToVariantBool(version >= kFirstDownloadVersion);
    return S_OK;
}

HRESULT CMVDetector::DownLoad(long pid, long vid, long playlistid) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    return com::CatchReturn([&] {
        client::DownloadVerb(pid, vid, playlistid);
        return S_OK;
    });
}

HRESULT CMVDetector::ShowDetailPage(BSTR url) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    return com::CatchReturn([&] {
        client::DetailPageVerb(url);
        return S_OK;
    });
}

HRESULT CMVDetector::GetMivoVAVersion(ULONG* dwVersion) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!dwVersion) return S_FALSE;
    return com::CatchReturn([&] {
        *dwVersion = facts::ClientVersionProbe();
        return S_OK;
    });
}

HRESULT CMVDetector::OnlinePlay(BSTR url) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    return com::CatchReturn([&] {
        client::OnlinePlayVerb(url);
        return S_OK;
    });
}

HRESULT CMVDetector::RunMivoPlayer(BSTR url) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    return com::CatchReturn([&] {
        client::RunPlayerVerb(url);
        return S_OK;
    });
}

HRESULT CMVDetector::GetFirstInstallTime(BSTR* time) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!time) return S_FALSE;
    return com::CatchReturn([&] { return WriteText(facts::ReadFirstInstallTime(), time); });
}

HRESULT CMVDetector::GetUserId(ULONG* userId) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!userId) return S_FALSE;
    return com::CatchReturn([&] {
        facts::ReadRegisterId(userId);
        return S_OK;
    });
}

HRESULT CMVDetector::IsShortcutCreated(long playlistid, VARIANT_BOOL* created) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    return IsShortcutCreatedEx(playlistid, shortcuts::UrlQuickLunch, created);
}

HRESULT CMVDetector::GetValue(BSTR key, BSTR* val) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!key) return S_OK;
    // The binding always passes a place for the result; a null one gets nothing.
    if (!val) return E_POINTER;
    return com::CatchReturn([&] {
        const std::wstring name = win::TextOf(key);
        return WriteText(userdata::GetUserDataStore().ReadValue(name.c_str()), val);
    });
}

HRESULT CMVDetector::SetValue(BSTR key, BSTR val) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!key || !val) return S_OK;
    return com::CatchReturn([&] {
        // Read up to the first NUL in place: a value too long to store is
        // refused before any copy of it is made.
        userdata::GetUserDataStore().WriteValue(key, val);
        return S_OK;
    });
}

HRESULT CMVDetector::IsShortcutCreatedEx(long playlistid, long eSrc, VARIANT_BOOL* created) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!created) return S_OK;
    return com::CatchReturn([&] {
        const std::wstring clientPath = client::ClientLocator();
        *created = ToVariantBool(shortcuts::FindPlaylistShortcut(playlistid, clientPath, eSrc));
        return S_OK;
    });
}

HRESULT CMVDetector::GetChannelNum(ULONG* ChannelNum) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!ChannelNum) return E_POINTER;
    return com::CatchReturn([&] {
        *ChannelNum = facts::ReadChannelNum();
        return S_OK;
    });
}

HRESULT CMVDetector::IsEnableCreateShortcut(long cid, VARIANT_BOOL* Isable) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!Isable) return E_POINTER;
    *Isable = ToVariantBool(IsShortcutChannel(cid));
    return S_OK;
}

HRESULT CMVDetector::GetInstallTime(BSTR* time) noexcept {
    RETURN_IF_FAILED(gate_.ScriptAccess());
    if (!time) return S_FALSE;
    return com::CatchReturn([&] { return WriteText(facts::ReadInstallTime(), time); });
}

}  // namespace mv::control
