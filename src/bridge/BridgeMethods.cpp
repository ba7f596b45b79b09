#include "bridge/BridgeMethods.h"

#include "bridge/Utf8Text.h"

namespace mv::bridge {

namespace {

using nlohmann::json;
constexpr auto I = ArgumentKind::Integer;
constexpr auto T = ArgumentKind::Text;

template <typename Call>
HRESULT AnswerBool(json& result, Call&& call) {
    VARIANT_BOOL value = VARIANT_FALSE;
    const HRESULT hr = call(&value);
    result = value != VARIANT_FALSE;
    return hr;
}

template <typename Call>
HRESULT AnswerNumber(json& result, Call&& call) {
    ULONG value = 0;
    const HRESULT hr = call(&value);
    result = value;
    return hr;
}

template <typename Call>
HRESULT AnswerText(json& result, Call&& call) {
    win::ScopedBstr value;
    const HRESULT hr = call(value.Receive());
    // The whole BSTR, embedded NULs included: what a page would get.
    result = Utf8FromWide(std::wstring_view(value.Get() ? value.Get() : L"", value.Length()));
    return hr;
}

HRESULT AnswerNothing(json& result, HRESULT hr) {
    result = nullptr;
    return hr;
}

// The control writes nothing when no id is recorded. A recorded 0 and no id
// look alike after one call; a second call with another starting value tells
// them apart.
HRESULT UserId(IMVDetectorCOM* control, json& result) {
    ULONG id = 0;
    const HRESULT hr = control->GetUserId(&id);
    if (FAILED(hr)) return hr;
    if (id == 0) {
        ULONG probe = 0xFFFFFFFFu;
        if (SUCCEEDED(control->GetUserId(&probe)) && probe == 0xFFFFFFFFu) {
            result = nullptr;
            return hr;
        }
    }
    result = id;
    return hr;
}

#define MV_CALL(body) [](IMVDetectorCOM * c, [[maybe_unused]] const Argument* a, json& r) -> HRESULT { body; }

constexpr BridgeMethod kMethods[] = {
    {"IsMiVoVAReady", 0, {}, MV_CALL(return AnswerBool(r, [&](VARIANT_BOOL* v) { return c->IsMiVoVAReady(v); }))},
    {"StartMiVoVA", 0, {}, MV_CALL(return AnswerNothing(r, c->StartMiVoVA()))},
    {"IsInstalled", 0, {}, MV_CALL(return AnswerBool(r, [&](VARIANT_BOOL* v) { return c->IsInstalled(v); }))},
    {"IsSupportDownload", 0, {},
     MV_CALL(return AnswerBool(r, [&](VARIANT_BOOL* v) { return c->IsSupportDownload(v); }))},
    {"DownLoad", 3, {I, I, I}, MV_CALL(return AnswerNothing(r, c->DownLoad(a[0].integer, a[1].integer, a[2].integer)))},
    {"ShowDetailPage", 1, {T}, MV_CALL(return AnswerNothing(r, c->ShowDetailPage(a[0].text.Get())))},
    {"GetMivoVAVersion", 0, {}, MV_CALL(return AnswerNumber(r, [&](ULONG* v) { return c->GetMivoVAVersion(v); }))},
    {"OnlinePlay", 1, {T}, MV_CALL(return AnswerNothing(r, c->OnlinePlay(a[0].text.Get())))},
    {"RunMivoPlayer", 1, {T}, MV_CALL(return AnswerNothing(r, c->RunMivoPlayer(a[0].text.Get())))},
    {"GetFirstInstallTime", 0, {}, MV_CALL(return AnswerText(r, [&](BSTR* v) { return c->GetFirstInstallTime(v); }))},
    {"GetUserId", 0, {}, MV_CALL(return UserId(c, r))},
    {"IsShortcutCreated", 1, {I},
     MV_CALL(return AnswerBool(r, [&](VARIANT_BOOL* v) { return c->IsShortcutCreated(a[0].integer, v); }))},
    {"GetValue", 1, {T}, MV_CALL(return AnswerText(r, [&](BSTR* v) { return c->GetValue(a[0].text.Get(), v); }))},
    {"SetValue", 2, {T, T}, MV_CALL(return AnswerNothing(r, c->SetValue(a[0].text.Get(), a[1].text.Get())))},
    {"IsShortcutCreatedEx", 2, {I, I},
     MV_CALL(return AnswerBool(r, [&](VARIANT_BOOL* v) { return c->IsShortcutCreatedEx(a[0].integer, a[1].integer, v); }))},
    {"GetChannelNum", 0, {}, MV_CALL(return AnswerNumber(r, [&](ULONG* v) { return c->GetChannelNum(v); }))},
    {"IsEnableCreateShortcut", 1, {I},
     MV_CALL(return AnswerBool(r, [&](VARIANT_BOOL* v) { return c->IsEnableCreateShortcut(a[0].integer, v); }))},
    {"GetInstallTime", 0, {}, MV_CALL(return AnswerText(r, [&](BSTR* v) { return c->GetInstallTime(v); }))},
};

#undef MV_CALL

}  // namespace

std::span<const BridgeMethod> BridgeMethods() noexcept { return kMethods; }

const BridgeMethod* FindBridgeMethod(std::string_view name) noexcept {
    for (const BridgeMethod& method : kMethods)
        if (name == method.name) return &method;
    return nullptr;
}

}  // namespace mv::bridge
