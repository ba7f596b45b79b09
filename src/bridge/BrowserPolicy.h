#pragma once
// What an administrator's policies let a Chromium browser do with this host,
// read as the browser reads them: each policy whole from the machine's hive
// where it is set there, else from the user's.
#include <string>

#include "bridge/HostManifest.h"

namespace mv::bridge {

struct HostPolicy {
    bool userLevelHosts = true;    // false: only hosts registered per machine start
    std::wstring userLevelSource;  // "HKLM" or "HKCU": where NativeMessagingUserLevelHosts is set
    bool blocked = false;          // the blocklist names "*" or this host, the allowlist does not
    std::wstring blockSource;      // where the blocklist is set
    std::wstring allowSource;      // where the allowlist is set; empty when nowhere
};

// Software\Policies\ and the browser's own path: Google\Chrome, Chromium, Microsoft\Edge.
std::wstring PolicyKeyPath(const BrowserKey& browser);

// Nothing is set for Firefox, whose policies govern native hosts otherwise.
HostPolicy ReadHostPolicy(const BrowserKey& browser);

}  // namespace mv::bridge
