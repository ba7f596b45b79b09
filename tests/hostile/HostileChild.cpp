#include "HostileChild.h"

#include <oaidl.h>
#include <oleauto.h>

#include <climits>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "com/ComObject.h"
#include "control/MVDetector.h"
#include "userdata/UserDataStore.h"

namespace mv::hostile {

std::wstring SeedKey(int i) { return L"seed" + std::to_wstring(i); }

std::wstring SeedValue(int i) {
    switch (i) {
        case 0: return L"80";
        case 1: return L"dark theme";
        case 2: return L"\x5f71\x97f3 \x4e2d\x6587";  // Chinese text
        case 3: return L"<&\"'> stays as given";
        case 4: return std::wstring(3000, L'v');
        default: return L"value " + std::to_wstring(i);
    }
}

namespace {

// One argument a page can send.
struct Arg {
    enum Kind { I4, UI4, Str, NullStr, Empty, Null, NullDispatch, Array, Missing } kind;
    LONG number = 0;
    std::wstring text;
};

// One call: arguments in natural order, optional named-argument DISPIDs, and
// whether the dispatcher may refuse it (anything but well-formed arguments).
struct Case {
    std::vector<Arg> args;
    std::vector<DISPID> named;
    bool mayRefuse = false;
};

Arg Number(LONG n) { return {Arg::I4, n, {}}; }
Arg Text(std::wstring s) { return {Arg::Str, 0, std::move(s)}; }
Arg Of(Arg::Kind kind) { return {kind, 0, {}}; }

std::wstring Repeat(const std::wstring& unit, size_t times) {
    std::wstring s;
    s.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i) s += unit;
    return s;
}

std::vector<std::wstring> HostileStrings() {
    std::vector<std::wstring> strings;
    for (size_t n = 1024; n <= 65536; n *= 2) strings.push_back(std::wstring(n, L'A'));
    strings.push_back(Repeat(L"%n", 512));
    strings.push_back(Repeat(L"%s", 512));
    strings.push_back(Repeat(L"%s%n%x%d%p", 200));
    strings.push_back(std::wstring(1024, L'\\'));
    strings.push_back(L"\\\\?\\" + std::wstring(300, L'A') + L"\\..\\..\\" + std::wstring(300, L'B'));
    strings.push_back(L"http://" + std::wstring(2040, L'A') + L"/index.html?a=1");
    strings.push_back(std::wstring(L"ab\0cd\0", 6) + std::wstring(100, L'A') + std::wstring(1, L'\0'));
    strings.push_back(std::wstring());
    strings.push_back(L"]]><x>&amp;</x><![CDATA[");
    return strings;
}

std::vector<LONG> HostileNumbers() { return {0, -1, 1, LONG_MAX, LONG_MIN}; }

// Wrong-typed stand-ins for a parameter of type `vt`.
std::vector<Arg> WrongTyped(VARTYPE vt) {
    std::vector<Arg> wrong = {Of(Arg::Empty), Of(Arg::Null), Of(Arg::NullDispatch), Of(Arg::Array), Of(Arg::Missing)};
    if (vt == VT_BSTR) {
        wrong.push_back(Number(7));
        wrong.push_back(Number(LONG_MIN));
    } else {
        wrong.push_back(Text(L"12"));
        wrong.push_back(Text(std::wstring(1024, L'A')));
        wrong.push_back(Of(Arg::NullStr));
    }
    return wrong;
}

Arg Default(VARTYPE vt) { return vt == VT_BSTR ? Text(L"x") : Number(1); }

std::vector<Case> CasesFor(const std::vector<VARTYPE>& params) {
    std::vector<Case> cases;
    std::vector<Arg> defaults;
    for (VARTYPE vt : params) defaults.push_back(Default(vt));
    cases.push_back({defaults, {}, false});

    for (size_t p = 0; p < params.size(); ++p) {
        auto with = [&](Arg arg, bool mayRefuse) {
            Case c{defaults, {}, mayRefuse};
            c.args[p] = std::move(arg);
            cases.push_back(std::move(c));
        };
        if (params[p] == VT_BSTR) {
            for (auto& s : HostileStrings()) with(Text(s), false);
            with(Of(Arg::NullStr), false);
        } else {
            for (LONG n : HostileNumbers()) with(Number(n), false);
            with({Arg::UI4, static_cast<LONG>(0xFFFFFFFFu), {}}, true);
        }
        for (auto& arg : WrongTyped(params[p])) with(arg, true);
    }

    const size_t n = params.size();
    if (n > 0) cases.push_back({{}, {}, true});
    if (n > 1) cases.push_back({std::vector<Arg>(defaults.begin(), defaults.end() - 1), {}, true});
    for (size_t extra : {1u, 5u}) {
        Case c{defaults, {}, true};
        for (size_t i = 0; i < extra; ++i) c.args.push_back(Number(static_cast<LONG>(i)));
        cases.push_back(std::move(c));
    }
    // Named arguments: a correct name, a name that no parameter has, and the
    // property-put name; a method without parameters gets one named extra.
    for (DISPID name : {DISPID(0), DISPID(1000), DISPID(DISPID_PROPERTYPUT)}) {
        Case c{n ? defaults : std::vector<Arg>{Number(3)}, {name}, true};
        cases.push_back(std::move(c));
    }
    return cases;
}

// A VARIANT owned for the duration of one call.
struct OwnedVariant {
    VARIANT v;
    explicit OwnedVariant(const Arg& arg) {
        ::VariantInit(&v);
        switch (arg.kind) {
            case Arg::I4: v.vt = VT_I4; v.lVal = arg.number; break;
            case Arg::UI4: v.vt = VT_UI4; v.ulVal = static_cast<ULONG>(arg.number); break;
            case Arg::Str:
                v.vt = VT_BSTR;
                v.bstrVal = ::SysAllocStringLen(arg.text.data(), static_cast<UINT>(arg.text.size()));
                break;
            case Arg::NullStr: v.vt = VT_BSTR; v.bstrVal = nullptr; break;
            case Arg::Empty: break;
            case Arg::Null: v.vt = VT_NULL; break;
            case Arg::NullDispatch: v.vt = VT_DISPATCH; v.pdispVal = nullptr; break;
            case Arg::Array: {
                SAFEARRAY* array = ::SafeArrayCreateVector(VT_I4, 0, 3);
                for (LONG i = 0; i < 3; ++i) ::SafeArrayPutElement(array, &i, &i);
                v.vt = VT_ARRAY | VT_I4;
                v.parray = array;
                break;
            }
            case Arg::Missing: v.vt = VT_ERROR; v.scode = DISP_E_PARAMNOTFOUND; break;
        }
    }
    ~OwnedVariant() { ::VariantClear(&v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
};

// DISP_E_EXCEPTION is how the dispatcher passes on a method's own failure,
// so it is never a refusal of the arguments.
bool Allowed(HRESULT hr, bool mayRefuse) {
    if (hr == S_OK) return true;
    return mayRefuse && FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_DISPATCH && hr != DISP_E_EXCEPTION;
}

Progress* OpenProgress(const wchar_t* name) {
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!mapping) return nullptr;
    return static_cast<Progress*>(::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Progress)));
}

void NoteForbidden(Progress* progress, const std::wstring& what) {
    if (::InterlockedIncrement(&progress->forbidden) == 1)
        wcsncpy(progress->firstForbidden, what.c_str(), 255);
}

IDispatch* CreateControl() {
    // As a page gets it: the registered control, through its class object.
    IDispatch* dispatch = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_MVDetectorCOM, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&dispatch))))
        return nullptr;
    return dispatch;
}

// The [in] parameter types of `id`, from the control's own type information.
std::vector<VARTYPE> InParams(IDispatch* dispatch, DISPID id) {
    std::vector<VARTYPE> params;
    ITypeInfo* info = nullptr;
    if (FAILED(dispatch->GetTypeInfo(0, 0, &info))) return params;
    TYPEATTR* attr = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attr))) {
        for (UINT f = 0; f < attr->cFuncs; ++f) {
            FUNCDESC* desc = nullptr;
            if (FAILED(info->GetFuncDesc(f, &desc))) continue;
            if (desc->memid == id) {
                for (SHORT p = 0; p < desc->cParams; ++p) {
                    const ELEMDESC& e = desc->lprgelemdescParam[p];
                    if (!(e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) params.push_back(e.tdesc.vt);
                }
            }
            info->ReleaseFuncDesc(desc);
        }
        info->ReleaseTypeAttr(attr);
    }
    info->Release();
    return params;
}

// "calls <method> <first> <mapping>": every case of one method, from `first`.
int RunCalls(int method, LONG first, Progress* progress) {
    IDispatch* dispatch = CreateControl();
    if (!dispatch) {
        NoteForbidden(progress, L"control not created");
        return kChildFinished;
    }
    LPOLESTR name = const_cast<LPOLESTR>(kMethods[method]);
    DISPID probe = 0;
    if (FAILED(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &probe))) {
        NoteForbidden(progress, std::wstring(kMethods[method]) + L": name not resolved");
        return kChildFinished;
    }
    const std::vector<Case> cases = CasesFor(InParams(dispatch, probe));
    const WORD flags[] = {DISPATCH_METHOD, DISPATCH_METHOD | DISPATCH_PROPERTYGET};
    const LONG total = static_cast<LONG>(cases.size() * 2);
    for (LONG call = first; call < total; ++call) {
        const Case& c = cases[call / 2];
        ::InterlockedExchange(&progress->started, call + 1);

        DISPID id = 0;
        const HRESULT named = dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
        std::vector<OwnedVariant*> owned;
        std::vector<VARIANT> reversed;
        for (auto it = c.args.rbegin(); it != c.args.rend(); ++it) owned.push_back(new OwnedVariant(*it));
        for (auto* o : owned) reversed.push_back(o->v);
        std::vector<DISPID> names = c.named;
        DISPPARAMS params{reversed.data(), names.data(), static_cast<UINT>(reversed.size()),
                          static_cast<UINT>(names.size())};
        VARIANT result;
        ::VariantInit(&result);
        EXCEPINFO exception{};
        UINT argError = 0;
        const HRESULT hr = FAILED(named) ? named
                                         : dispatch->Invoke(id, IID_NULL, 0, flags[call % 2], &params, &result,
                                                            &exception, &argError);
        ::VariantClear(&result);
        ::SysFreeString(exception.bstrSource);
        ::SysFreeString(exception.bstrDescription);
        ::SysFreeString(exception.bstrHelpFile);
        for (auto* o : owned) delete o;

        if (!Allowed(hr, c.mayRefuse)) {
            wchar_t text[128];
            swprintf(text, 128, L"%ls case %ld flags %u: 0x%08lX", kMethods[method], call / 2,
                     flags[call % 2], static_cast<unsigned long>(hr));
            NoteForbidden(progress, text);
        }
        ::InterlockedExchange(&progress->done, call + 1);
    }
    dispatch->Release();
    return kChildFinished;
}

// "seed <mapping>": stores the known values; notes whether the store keeps them.
int RunSeed(Progress* progress) {
    auto& store = userdata::GetUserDataStore();
    for (int i = 0; i < kSeedCount; ++i) store.WriteValue(SeedKey(i).c_str(), SeedValue(i).c_str());
    progress->storeWorks = store.ReadValue(SeedKey(0).c_str()) == SeedValue(0) ? 1 : 0;
    return kChildFinished;
}

// "verify <mapping>": a fresh process reads the known values back.
int RunVerify(Progress* progress) {
    auto& store = userdata::GetUserDataStore();
    for (int i = 0; i < kSeedCount; ++i)
        if (store.ReadValue(SeedKey(i).c_str()) != SeedValue(i)) ::InterlockedIncrement(&progress->lost);
    return kChildFinished;
}

// "probe-write <mapping>" / "probe-read <mapping>": the store opened over
// whatever file lies there must take a value, and the file it leaves must
// give it back to the next process.
int RunProbe(Progress* progress, bool write) {
    auto& store = userdata::GetUserDataStore();
    if (write) store.WriteValue(L"probe", L"after damage");
    if (store.ReadValue(L"probe") != L"after damage") ::InterlockedIncrement(&progress->lost);
    return kChildFinished;
}

}  // namespace

int RunChild(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring job = argv[0];
    Progress* progress = OpenProgress(argv[argc - 1]);
    if (!progress) return 2;
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int code = 2;
    if (job == L"calls" && argc == 4)
        code = RunCalls(_wtoi(argv[1]), _wtol(argv[2]), progress);
    else if (job == L"seed")
        code = RunSeed(progress);
    else if (job == L"verify")
        code = RunVerify(progress);
    else if (job == L"probe-write" || job == L"probe-read")
        code = RunProbe(progress, job == L"probe-write");
    // The store is left to the process's end, as in a browser that closes.
    ::CoUninitialize();
    return code;
}

}  // namespace mv::hostile
