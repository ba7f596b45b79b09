// The template layer inside the test program, where its construction and
// teardown paths can be driven directly.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "com/ComCoClass.h"
#include "control/MVDetector.h"
#include "server/Module.h"

namespace {

using namespace mv::com;

// Construction can be made to fail; destruction is counted.
class ATL_NO_VTABLE CProbe : public CComObjectRootEx<CComSingleThreadModel>, public IPersist {
public:
    BEGIN_COM_MAP(CProbe)
        COM_INTERFACE_ENTRY(IPersist)
    END_COM_MAP()

    ~CProbe() { ++destroyed; }
    HRESULT FinalConstruct() noexcept { return constructResult; }
    void FinalRelease() noexcept {
        // A reference taken and dropped while dying must not destroy it again.
        GetUnknown()->AddRef();
        GetUnknown()->Release();
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) noexcept override {
        *id = CLSID_NULL;
        return S_OK;
    }

    static inline HRESULT constructResult = S_OK;
    static inline int destroyed = 0;
};

using ProbeCreator = CComCreator<CComObject<CProbe>>;

TEST(TemplateLayer, CreatorUndoesEveryFailedCreation) {
    const LONG locks = mv::server::Module().GetLockCount();
    const int destroyed = CProbe::destroyed;
    void* out = reinterpret_cast<void*>(0xdeadbeef);

    CProbe::constructResult = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, ProbeCreator::CreateInstance(nullptr, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(destroyed + 1, CProbe::destroyed);
    EXPECT_EQ(locks, mv::server::Module().GetLockCount());

    CProbe::constructResult = S_OK;
    out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, ProbeCreator::CreateInstance(nullptr, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(destroyed + 2, CProbe::destroyed);
    EXPECT_EQ(locks, mv::server::Module().GetLockCount());
    EXPECT_EQ(E_POINTER, ProbeCreator::CreateInstance(nullptr, IID_IPersist, nullptr));
}

TEST(TemplateLayer, InstanceHoldsOneModuleLockAndDiesOnce) {
    const LONG locks = mv::server::Module().GetLockCount();
    const int destroyed = CProbe::destroyed;
    CProbe::constructResult = S_OK;
    IPersist* probe = nullptr;
    ASSERT_EQ(S_OK, ProbeCreator::CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&probe)));
    EXPECT_EQ(locks + 1, mv::server::Module().GetLockCount());
    EXPECT_EQ(2u, probe->AddRef());
    EXPECT_EQ(1u, probe->Release());
    EXPECT_EQ(0u, probe->Release());
    EXPECT_EQ(destroyed + 1, CProbe::destroyed);
    EXPECT_EQ(locks, mv::server::Module().GetLockCount());
}

TEST(TemplateLayer, TerminationReleasesTypeInformationAndNameCache) {
    mv::test::ComApartment apartment;
    std::wstring path = mv::test::ControlDllPath();
    ITypeLib* library = nullptr;
    ASSERT_EQ(S_OK, ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library));
    ASSERT_EQ(S_OK, ::RegisterTypeLib(library, path.data(), nullptr));
    library->Release();

    using mv::control::CMVDetector;
    IDispatch* object = nullptr;
    ASSERT_EQ(S_OK, CMVDetector::_CreatorClass::CreateInstance(nullptr, IID_IDispatch,
                                                               reinterpret_cast<void**>(&object)));
    auto& holder = CMVDetector::_tih;
    for (int round = 0; round < 2; ++round) {
        auto* name = const_cast<LPOLESTR>(L"GetChannelNum");
        DISPID id = 0;
        EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
        EXPECT_EQ(16, id);
        ASSERT_NE(nullptr, holder.m_pInfo);
        ASSERT_NE(nullptr, holder.m_pMap);
        // The dispatch view of a dual interface lists IUnknown's and
        // IDispatch's seven members before the eighteen methods.
        ASSERT_EQ(25, holder.m_nCount);
        EXPECT_STREQ(L"QueryInterface", holder.m_pMap[0].name);
        EXPECT_STREQ(L"IsMiVoVAReady", holder.m_pMap[7].name);
        EXPECT_EQ(13u, holder.m_pMap[7].length);
        EXPECT_EQ(1, holder.m_pMap[7].id);
        EXPECT_STREQ(L"GetInstallTime", holder.m_pMap[24].name);
        EXPECT_EQ(18, holder.m_pMap[24].id);

        mv::server::Module().RunTermFuncs();
        EXPECT_EQ(nullptr, holder.m_pInfo);
        EXPECT_EQ(nullptr, holder.m_pMap);
        EXPECT_EQ(0, holder.m_nCount);
    }
    object->Release();
    ::UnRegisterTypeLib(LIBID_MVDetectorAXLib, 1, 0, LOCALE_NEUTRAL, mv::test::kBuildSysKind);
}

TEST(TemplateLayer, GlobalInterfaceTableIsMadeOnceAndShared) {
    mv::test::ComApartment apartment;
    EXPECT_EQ(E_POINTER, mv::server::Module().GetGITPtr(nullptr));
    IGlobalInterfaceTable* first = nullptr;
    IGlobalInterfaceTable* second = nullptr;
    ASSERT_EQ(S_OK, mv::server::Module().GetGITPtr(&first));
    ASSERT_EQ(S_OK, mv::server::Module().GetGITPtr(&second));
    EXPECT_EQ(first, second);
    first->Release();
    second->Release();
}

}  // namespace
