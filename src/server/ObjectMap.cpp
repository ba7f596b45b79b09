#include "server/ObjectMap.h"

#include "control/MVDetector.h"
#include "server/Module.h"

namespace mv::server {

namespace {

// Declared before the record that walks it: same unit, so built first.
com::_ATL_OBJMAP_ENTRY objectMap[] = {com::ObjectMapEntry<control::CMVDetector>()};

com::CAtlComModule comModule(std::begin(objectMap), std::end(objectMap), ModuleInstance());

}  // namespace

com::CAtlComModule& ComModule() noexcept { return comModule; }

}  // namespace mv::server
