#pragma once
// The host's file version: its resource and its "$hello" answer read it here.
#include "ProductVersion.h"

#define MV_BRIDGE_VERSION_NUMBERS MV_VERSION_NUMBERS
#define MV_BRIDGE_VERSION_TEXT MV_VERSION_TEXT

#define MV_BRIDGE_WIDEN_(text) L##text
#define MV_BRIDGE_WIDEN(text) MV_BRIDGE_WIDEN_(text)
#define MV_BRIDGE_VERSION_TEXT_W MV_BRIDGE_WIDEN(MV_BRIDGE_VERSION_TEXT)
