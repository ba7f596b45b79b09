#pragma once
// The host's file version: its resource and its "$hello" answer read it here.
#define MV_BRIDGE_VERSION_NUMBERS 1, 0, 0, 0
#define MV_BRIDGE_VERSION_TEXT "1.0.0.0"

#define MV_BRIDGE_WIDEN_(text) L##text
#define MV_BRIDGE_WIDEN(text) MV_BRIDGE_WIDEN_(text)
#define MV_BRIDGE_VERSION_TEXT_W MV_BRIDGE_WIDEN(MV_BRIDGE_VERSION_TEXT)
