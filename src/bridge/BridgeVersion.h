#pragma once
// The host's file version: its resource and its "$hello" answer read it here.
#define MV_BRIDGE_VERSION_NUMBERS 1, 0, 0, 0
#define MV_BRIDGE_VERSION_TEXT "1.0.0.0"
#define MV_BRIDGE_VERSION_TEXT_W L"1.0.0.0"
