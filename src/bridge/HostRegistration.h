#pragma once
// --register and --unregister: the manifests beside the host and the
// registry keys each browser reads, per user (HKCU) or per machine (HKLM).
#include <string>

#include "bridge/HostManifest.h"

namespace mv::bridge {

enum class RegistrationScope { User, Machine };

const wchar_t* ScopeName(RegistrationScope scope) noexcept;

// The manifest path the browser's key names in that scope; empty when the key
// or its value is absent.
std::wstring RegisteredManifest(RegistrationScope scope, const BrowserKey& browser);

// Process exit codes: 0 done, 1 failed (said on standard error).
int RegisterHost(RegistrationScope scope);
int UnregisterHost(RegistrationScope scope);

}  // namespace mv::bridge
