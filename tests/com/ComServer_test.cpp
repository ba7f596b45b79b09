// The control as a browser sees it: the built DLL loaded by path and used
// only through its exports and the interfaces they hand out.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "MVDetectorAX_h.h"
#include "TestSupport.h"
#include "com/ObjectSafetyImpl.h"  // only for the IID binding of IObjectSafety

namespace {

using Microsoft::WRL::ComPtr;

template <class T>
T* Sentinel() {
    return reinterpret_cast<T*>(static_cast<UINT_PTR>(0xdeadbeef));
}

// The DLL loaded for one test: every test starts with fresh static state.
class ControlServer {
public:
    ControlServer() : module_(::LoadLibraryW(mv::test::ControlDllPath().c_str())) {
        if (!module_) return;
        getClassObject_ = reinterpret_cast<GetClassObjectFn>(::GetProcAddress(module_, "DllGetClassObject"));
        canUnloadNow_ = reinterpret_cast<CanUnloadNowFn>(::GetProcAddress(module_, "DllCanUnloadNow"));
    }
    ~ControlServer() { Unload(); }
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool Loaded() const { return module_ && getClassObject_ && canUnloadNow_; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const { return getClassObject_(clsid, iid, out); }
    HRESULT CanUnloadNow() const { return canUnloadNow_(); }

    ComPtr<IClassFactory> Factory() const {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, GetClassObject(CLSID_MVDetectorCOM, IID_IClassFactory, &factory));
        return factory;
    }
    ComPtr<IMVDetectorCOM> Create() const {
        ComPtr<IMVDetectorCOM> object;
        if (auto factory = Factory()) {
            EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IMVDetectorCOM, &object));
        }
        return object;
    }

    // Frees the DLL; true when it has left the process.
    bool Unload() {
        if (!module_) return true;
        ::FreeLibrary(module_);
        module_ = nullptr;
        return ::GetModuleHandleW(mv::test::ControlDllPath().c_str()) == nullptr;
    }

private:
    using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFn = HRESULT(__stdcall*)();
    HMODULE module_;
    GetClassObjectFn getClassObject_ = nullptr;
    CanUnloadNowFn canUnloadNow_ = nullptr;
};

// The control's type library registered from its own resource for the
// scope, removed again afterwards.
class ScopedTypeLibRegistration {
public:
    ScopedTypeLibRegistration() {
        std::wstring path = mv::test::ControlDllPath();
        ComPtr<ITypeLib> library;
        EXPECT_EQ(S_OK, ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library));
        if (library) {
            EXPECT_EQ(S_OK, ::RegisterTypeLib(library.Get(), path.data(), nullptr));
        }
    }
    ~ScopedTypeLibRegistration() { Unregister(); }
    static void Unregister() { ::UnRegisterTypeLib(LIBID_MVDetectorAXLib, 1, 0, LOCALE_NEUTRAL, mv::test::kBuildSysKind); }
};

// Each test loads the DLL afresh and must leave it unloadable and unloaded.
class ComServerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Loaded()); }
    void TearDown() override {
        EXPECT_EQ(S_OK, server_.CanUnloadNow()) << "a reference or lock was left behind";
        EXPECT_TRUE(server_.Unload());
    }

    mv::test::ComApartment apartment_;
    ControlServer server_;
};

bool SameObject(IUnknown* a, IUnknown* b) { return a == b; }

TEST_F(ComServerTest, InterfaceMapGivesOneIdentityAndRefusesTheRest) {
    auto object = server_.Create();
    ASSERT_TRUE(object);
    ComPtr<IUnknown> unknown;
    ComPtr<IDispatch> dispatch;
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(S_OK, object.As(&unknown));
    ASSERT_EQ(S_OK, object.As(&dispatch));
    ASSERT_EQ(S_OK, object.As(&safety));
    EXPECT_TRUE(SameObject(unknown.Get(), object.Get()));
    EXPECT_TRUE(SameObject(dispatch.Get(), object.Get()));
    EXPECT_FALSE(SameObject(safety.Get(), object.Get()));
    ComPtr<IUnknown> fromSafety;
    ASSERT_EQ(S_OK, safety.As(&fromSafety));
    EXPECT_TRUE(SameObject(fromSafety.Get(), unknown.Get()));

    for (const IID* iid : {&IID_IPersist, &IID_IOleObject, &IID_IProvideClassInfo, &IID_ISupportErrorInfo,
                           &IID_IConnectionPointContainer, &IID_IObjectWithSite, &IID_IMarshal, &IID_IClassFactory}) {
        for (IUnknown* face : {static_cast<IUnknown*>(object.Get()), static_cast<IUnknown*>(safety.Get())}) {
            void* out = Sentinel<void>();
            EXPECT_EQ(E_NOINTERFACE, face->QueryInterface(*iid, &out));
            EXPECT_EQ(nullptr, out);
        }
    }
    EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_POINTER, safety->QueryInterface(IID_IDispatch, nullptr));

    // Five references now: the object, unknown, dispatch, safety, fromSafety.
    EXPECT_EQ(6u, object->AddRef());
    EXPECT_EQ(5u, safety->Release());
}

TEST_F(ComServerTest, SafetyOptionsAreOneValuePerInstance) {
    auto first = server_.Create();
    auto second = server_.Create();
    ComPtr<IObjectSafety> safety, other;
    ASSERT_EQ(S_OK, first.As(&safety));
    ASSERT_EQ(S_OK, second.As(&other));
    auto options = [](IObjectSafety* s, REFIID iid, DWORD* enabled = nullptr) {
        DWORD supported = 0xdeadbeef, current = 0xdeadbeef;
        EXPECT_EQ(S_OK, s->GetInterfaceSafetyOptions(iid, &supported, &current));
        EXPECT_EQ(static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER), supported);
        if (enabled) *enabled = current;
        return current;
    };
    EXPECT_EQ(0u, options(safety.Get(), IID_IDispatch));

    EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                      INTERFACESAFE_FOR_UNTRUSTED_CALLER));
    for (const IID* iid : {&IID_IDispatch, &IID_IMVDetectorCOM, &IID_IObjectSafety, &IID_IUnknown})
        EXPECT_EQ(1u, options(safety.Get(), *iid));
    EXPECT_EQ(0u, options(other.Get(), IID_IDispatch)) << "options leaked to another instance";

    // Bits outside the mask are ignored; an empty mask changes nothing.
    EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IMVDetectorCOM, 0, 0));
    EXPECT_EQ(1u, options(safety.Get(), IID_IDispatch));
    EXPECT_EQ(S_OK, other->SetInterfaceSafetyOptions(IID_IDispatch, 0, 1));
    EXPECT_EQ(0u, options(other.Get(), IID_IDispatch));
    EXPECT_EQ(S_OK, other->SetInterfaceSafetyOptions(IID_IDispatch, 1, 3));
    EXPECT_EQ(1u, options(other.Get(), IID_IDispatch));
    EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0));
    EXPECT_EQ(0u, options(safety.Get(), IID_IDispatch));
    EXPECT_EQ(1u, options(other.Get(), IID_IDispatch));
}

TEST_F(ComServerTest, SafetyOptionsRefuseWhatIsNotOffered) {
    auto object = server_.Create();
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(S_OK, object.As(&safety));
    DWORD supported = 0xdeadbeef, enabled = 0xdeadbeef;
    EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled));
    EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr));
    EXPECT_EQ(E_NOINTERFACE, safety->GetInterfaceSafetyOptions(IID_IPersist, &supported, &enabled));
    EXPECT_EQ(0u, supported);
    EXPECT_EQ(0u, enabled);

    ASSERT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1));
    // Safe for untrusted data is never offered, not even together with what is.
    EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 2));
    EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_DATA, 0));
    // The interface is checked before the options.
    EXPECT_EQ(E_NOINTERFACE, safety->SetInterfaceSafetyOptions(IID_IPersist, 2, 2));
    EXPECT_EQ(E_NOINTERFACE, safety->SetInterfaceSafetyOptions(IID_IPersist, 1, 0));
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
    EXPECT_EQ(1u, enabled) << "a refused request changed the options";
}

// An outer object that delegates everything but IUnknown to the control.
class TestOuter : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        lastQuery = iid;
        if (!out) return E_POINTER;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the test's stack

    IUnknown* inner = nullptr;
    ULONG refs = 1;
    IID lastQuery = IID_NULL;
};

TEST_F(ComServerTest, AggregatedInstanceCountsOnTheOuterObject) {
    auto factory = server_.Factory();
    ASSERT_TRUE(factory);
    TestOuter outer;
    IUnknown* inner = Sentinel<IUnknown>();
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    factory.Reset();
    outer.inner = inner;
    ASSERT_NE(nullptr, inner);
    EXPECT_NE(static_cast<IUnknown*>(&outer), inner);
    EXPECT_EQ(1u, outer.refs) << "creation kept a reference on the outer object";
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow());

    // The inner unknown answers IUnknown with itself, as a counted reference.
    IUnknown* again = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(inner, again);
    EXPECT_EQ(1u, again->Release());
    EXPECT_EQ(E_POINTER, inner->QueryInterface(IID_IUnknown, nullptr));
    void* refused = Sentinel<void>();
    EXPECT_EQ(E_NOINTERFACE, inner->QueryInterface(IID_IPersist, &refused));
    EXPECT_EQ(nullptr, refused);

    IMVDetectorCOM* script = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IMVDetectorCOM, reinterpret_cast<void**>(&script)));
    EXPECT_EQ(2u, outer.refs);
    EXPECT_EQ(3u, script->AddRef());
    EXPECT_EQ(2u, script->Release());
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    EXPECT_EQ(static_cast<IUnknown*>(script), static_cast<IUnknown*>(dispatch));
    EXPECT_EQ(3u, outer.refs);
    dispatch->Release();

    // The faces' IUnknown is the outer object's: identity and queries go there.
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, script->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    IObjectSafety* safety = nullptr;
    ASSERT_EQ(S_OK, script->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)));
    outer.lastQuery = IID_NULL;
    DWORD supported = 0, enabled = 0;
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IMVDetectorCOM, &supported, &enabled));
    EXPECT_TRUE(InlineIsEqualGUID(outer.lastQuery, IID_IMVDetectorCOM));
    EXPECT_EQ(1u, supported);

    VARIANT_BOOL enable = 0x1234;
    EXPECT_EQ(S_OK, script->IsEnableCreateShortcut(7, &enable));
    EXPECT_EQ(VARIANT_TRUE, enable);
    safety->Release();
    script->Release();
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow());
    EXPECT_EQ(0u, inner->Release());
}

TEST_F(ComServerTest, AggregationOnlyThroughTheInnerUnknown) {
    auto factory = server_.Factory();
    ASSERT_TRUE(factory);
    TestOuter outer;
    for (const IID* iid : {&IID_IMVDetectorCOM, &IID_IDispatch, &IID_IObjectSafety, &IID_IPersist}) {
        void* out = Sentinel<void>();
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, *iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(&outer, IID_IUnknown, nullptr));
}

TEST_F(ComServerTest, ClassObjectRequestsAndRefusals) {
    void* out = Sentinel<void>();
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, server_.GetClassObject(IID_IMVDetectorCOM, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, server_.GetClassObject(CLSID_MVDetectorCOM, IID_IClassFactory, nullptr));
    out = Sentinel<void>();
    EXPECT_EQ(E_NOINTERFACE, server_.GetClassObject(CLSID_MVDetectorCOM, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(S_OK, server_.CanUnloadNow());

    // Two requests, one factory, whatever interface was asked for.
    ComPtr<IClassFactory> first, second;
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, server_.GetClassObject(CLSID_MVDetectorCOM, IID_IClassFactory, &first));
    ASSERT_EQ(S_OK, server_.GetClassObject(CLSID_MVDetectorCOM, IID_IClassFactory, &second));
    ASSERT_EQ(S_OK, server_.GetClassObject(CLSID_MVDetectorCOM, IID_IUnknown, &unknown));
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_TRUE(SameObject(unknown.Get(), first.Get()));

    EXPECT_EQ(E_POINTER, first->CreateInstance(nullptr, IID_IMVDetectorCOM, nullptr));
    out = Sentinel<void>();
    EXPECT_EQ(E_NOINTERFACE, first->CreateInstance(nullptr, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
}

TEST_F(ComServerTest, UnloadWaitsForObjectsFactoryReferencesAndServerLocks) {
    EXPECT_EQ(S_OK, server_.CanUnloadNow());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, server_.GetClassObject(CLSID_MVDetectorCOM, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow()) << "a client's factory reference must hold the module";

    // The map keeps one reference of its own that never locks the module.
    EXPECT_EQ(3u, factory->AddRef());
    EXPECT_EQ(2u, factory->Release());
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow());

    IMVDetectorCOM* object = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IMVDetectorCOM, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow());
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow()) << "server locks are outstanding";

    ASSERT_EQ(S_OK, server_.GetClassObject(CLSID_MVDetectorCOM, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow());
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(S_OK, server_.CanUnloadNow());
}

TEST(ComServerLoad, ConcurrentFirstRequestsMakeOneFactory) {
    constexpr int kRounds = 20;
    constexpr int kThreads = 4;
    for (int round = 0; round < kRounds; ++round) {
        ControlServer server;
        ASSERT_TRUE(server.Loaded());
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        std::vector<IUnknown*> got(kThreads, nullptr);
        std::vector<HRESULT> results(kThreads, E_FAIL);
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                ++ready;
                while (!go.load()) {
                }
                results[i] = server.GetClassObject(CLSID_MVDetectorCOM, IID_IClassFactory,
                                                   reinterpret_cast<void**>(&got[i]));
            });
        }
        while (ready.load() < kThreads) ::Sleep(0);
        go = true;
        for (auto& t : threads) t.join();
        for (int i = 0; i < kThreads; ++i) {
            EXPECT_EQ(S_OK, results[i]);
            EXPECT_EQ(got[0], got[i]) << "round " << round << ": two factories";
        }
        // Each thread's reference, and the map's own, which never locks.
        for (IUnknown* factory : got)
            if (factory) factory->Release();
        EXPECT_EQ(S_OK, server.CanUnloadNow());
        EXPECT_TRUE(server.Unload());
        if (HasFailure()) break;
    }
}

TEST(ComServerLoad, ReloadsAfterUnloadWithTypeInformationReleased) {
    mv::test::ComApartment apartment;
    ScopedTypeLibRegistration registration;
    for (int round = 0; round < 3; ++round) {
        ControlServer server;
        ASSERT_TRUE(server.Loaded());
        EXPECT_EQ(S_OK, server.CanUnloadNow());
        ComPtr<ITypeInfo> info;
        {
            auto object = server.Create();
            ASSERT_TRUE(object);
            ASSERT_EQ(S_OK, object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
            EXPECT_EQ(S_FALSE, server.CanUnloadNow());
        }
        EXPECT_EQ(S_OK, server.CanUnloadNow());
        // The module's own reference to the type information goes with it.
        info->AddRef();
        const ULONG before = info->Release();
        ASSERT_TRUE(server.Unload()) << "round " << round;
        info->AddRef();
        EXPECT_EQ(before - 1, info->Release()) << "round " << round << ": type information not released at unload";
    }
}

// Dispatch as a script host drives it: names to DISPIDs, then Invoke.
class DispatchTest : public ComServerTest {
protected:
    static HRESULT Ids(IDispatch* d, const wchar_t* name, DISPID* id) {
        auto* names = const_cast<LPOLESTR>(name);
        return d->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, id);
    }
    // Calls `id` with the given long arguments (first argument first).
    static HRESULT Call(IDispatch* d, DISPID id, WORD flags, std::vector<long> args, VARIANT* result) {
        std::vector<VARIANT> values(args.size());
        for (size_t i = 0; i < args.size(); ++i) {
            values[args.size() - 1 - i].vt = VT_I4;
            values[args.size() - 1 - i].lVal = args[i];
        }
        DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
        EXCEPINFO exception{};
        UINT argError = 0;
        return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, &argError);
    }
};

constexpr const wchar_t* kMethodNames[] = {
    L"IsMiVoVAReady", L"StartMiVoVA", L"IsInstalled", L"IsSupportDownload", L"DownLoad", L"ShowDetailPage",
    L"GetMivoVAVersion", L"OnlinePlay", L"RunMivoPlayer", L"GetFirstInstallTime", L"GetUserId",
    L"IsShortcutCreated", L"GetValue", L"SetValue", L"IsShortcutCreatedEx", L"GetChannelNum",
    L"IsEnableCreateShortcut", L"GetInstallTime"};

TEST_F(DispatchTest, TypeInformationOfTheScriptFace) {
    ScopedTypeLibRegistration registration;
    auto object = server_.Create();
    ASSERT_TRUE(object);
    ITypeInfo* info = Sentinel<ITypeInfo>();
    // Checked before anything is loaded.
    EXPECT_EQ(DISP_E_BADINDEX, object->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info));
    EXPECT_EQ(E_POINTER, object->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr));
    UINT count = 0;
    EXPECT_EQ(E_POINTER, object->GetTypeInfoCount(nullptr));
    EXPECT_EQ(S_OK, object->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    ComPtr<ITypeInfo> typeInfo;
    ASSERT_EQ(S_OK, object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &typeInfo));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, typeInfo->GetTypeAttr(&attr));
    EXPECT_TRUE(InlineIsEqualGUID(attr->guid, IID_IMVDetectorCOM));
    typeInfo->ReleaseTypeAttr(attr);
    EXPECT_EQ(DISP_E_BADINDEX, object->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info));
}

TEST_F(DispatchTest, NamesResolveInAnyCase) {
    ScopedTypeLibRegistration registration;
    auto object = server_.Create();
    ASSERT_TRUE(object);
    for (DISPID expected = 1; expected <= 18; ++expected) {
        const std::wstring exact = kMethodNames[expected - 1];
        std::wstring lower = exact, upper = exact;
        for (auto& c : lower) c = static_cast<wchar_t>(::towlower(c));
        for (auto& c : upper) c = static_cast<wchar_t>(::towupper(c));
        for (const std::wstring& name : {exact, lower, upper, exact}) {
            DISPID id = 0x7777;
            EXPECT_EQ(S_OK, Ids(object.Get(), name.c_str(), &id)) << name;
            EXPECT_EQ(expected, id) << name;
        }
    }
    // A name that is a prefix of another, or extends one, is its own.
    DISPID id = 0x7777;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, Ids(object.Get(), L"IsShortcutCreatedE", &id));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, Ids(object.Get(), L"IsInstalledX", &id));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, Ids(object.Get(), L"", &id));

    // Several names at once: the method and its parameters.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"isshortcutcreatedex"), const_cast<LPOLESTR>(L"eSrc")};
    DISPID ids[2] = {0x7777, 0x7777};
    EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids));
    EXPECT_EQ(15, ids[0]);
    EXPECT_EQ(1, ids[1]);
}

TEST_F(DispatchTest, PropertyAccessRunsTheMethod) {
    ScopedTypeLibRegistration registration;
    mv::test::ScopedTempDir client(L"mvclient");
    mv::test::WriteFileBytes(client.Child(L"MVPlayer.exe"), "MZ");
    mv::test::ScopedRegistryKey clientKey(HKEY_CURRENT_USER, L"Software\\MIVO\\MiVoVA");
    clientKey.SetString(L"Path", client.path());

    auto object = server_.Create();
    ASSERT_TRUE(object);
    VARIANT_BOOL installed = VARIANT_FALSE;
    ASSERT_EQ(S_OK, object->IsInstalled(&installed));
    ASSERT_EQ(VARIANT_TRUE, installed);

    for (WORD flags : {DISPATCH_PROPERTYGET, DISPATCH_METHOD, DISPATCH_METHOD | DISPATCH_PROPERTYGET}) {
        VARIANT result;
        ::VariantInit(&result);
        EXPECT_EQ(S_OK, Call(object.Get(), 3, flags, {}, &result)) << "flags " << flags;
        EXPECT_EQ(VT_BOOL, result.vt);
        EXPECT_EQ(VARIANT_TRUE, result.boolVal);
    }
    clientKey.DeleteValue(L"Path");
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(S_OK, Call(object.Get(), 3, DISPATCH_PROPERTYGET, {}, &result));
    EXPECT_EQ(VT_BOOL, result.vt);
    EXPECT_EQ(VARIANT_FALSE, result.boolVal);

    // Parameters pass through the rewrite unchanged, for reads and writes alike.
    for (WORD flags : {DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT, DISPATCH_METHOD}) {
        for (long cid : {7L, 3L}) {
            ::VariantInit(&result);
            EXPECT_EQ(S_OK, Call(object.Get(), 17, flags, {cid}, &result)) << "flags " << flags;
            EXPECT_EQ(VT_BOOL, result.vt);
            EXPECT_EQ(cid == 7 ? VARIANT_TRUE : VARIANT_FALSE, result.boolVal) << "flags " << flags << " cid " << cid;
        }
    }
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(object.Get(), 99, DISPATCH_PROPERTYGET, {}, &result));
}

TEST_F(DispatchTest, UnregisteredTypeLibraryFailsDispatchButNotTheVtable) {
    ScopedTypeLibRegistration::Unregister();
    ITypeLib* probe = nullptr;
    const HRESULT loadResult = ::LoadRegTypeLib(LIBID_MVDetectorAXLib, 1, 0, LOCALE_USER_DEFAULT, &probe);
    ASSERT_TRUE(FAILED(loadResult)) << "the type library is still registered";

    auto object = server_.Create();
    ASSERT_TRUE(object);
    VARIANT_BOOL enable = VARIANT_FALSE;
    EXPECT_EQ(S_OK, object->IsEnableCreateShortcut(16, &enable));
    EXPECT_EQ(VARIANT_TRUE, enable);
    ULONG channel = 0xdeadbeef;
    EXPECT_EQ(S_OK, object->GetChannelNum(&channel));
    EXPECT_NE(0xdeadbeef, channel);

    DISPID id = 0x7777;
    EXPECT_EQ(loadResult, Ids(object.Get(), L"IsInstalled", &id));
    VARIANT result;
    ::VariantInit(&result);
    for (WORD flags : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET})
        EXPECT_EQ(loadResult, Call(object.Get(), 17, flags, {7}, &result)) << "flags " << flags;
    EXPECT_EQ(VT_EMPTY, result.vt);
    ITypeInfo* info = Sentinel<ITypeInfo>();
    EXPECT_EQ(loadResult, object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
    EXPECT_EQ(nullptr, info);
    UINT count = 0;
    EXPECT_EQ(S_OK, object->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    // A failed load is not remembered: registering later makes dispatch work.
    ScopedTypeLibRegistration registration;
    EXPECT_EQ(S_OK, Ids(object.Get(), L"IsInstalled", &id));
    EXPECT_EQ(3, id);
    EXPECT_EQ(S_OK, Call(object.Get(), 17, DISPATCH_METHOD, {7}, &result));
    EXPECT_EQ(VARIANT_TRUE, result.boolVal);
}

}  // namespace
