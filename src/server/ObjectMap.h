#pragma once
// The server's object map (its one creatable class) and the COM-module
// record over it.
#include "com/AtlComModule.h"

namespace mv::server {

com::CAtlComModule& ComModule() noexcept;

}  // namespace mv::server
