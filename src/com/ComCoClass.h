#pragma once
// Class identity and the creators an object-map entry uses for the class.
// Holds no data and no virtual functions, so the object's first vtable stays
// that of its first interface.
#include <windows.h>

#include "com/ClassFactory.h"
#include "com/ComCreator.h"
#include "com/ComObject.h"

namespace mv::com {

template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    // Plain without an outer object, aggregated with one.
    using _CreatorClass = CComCreator2<CComCreator<CComObject<T>>, CComCreator<CComAggObject<T>>>;
    using _ClassFactoryCreatorClass = CComCreator<CComObjectCached<CComClassFactory>>;

    static const CLSID& WINAPI GetObjectCLSID() noexcept { return *pclsid; }
    static const wchar_t* WINAPI GetObjectDescription() noexcept { return nullptr; }
};

}  // namespace mv::com
