#include "facts/ClientFacts.h"

namespace mv::facts {

// Filled in with the registry and configuration facts.
void ReadRegisterId(ULONG*) {}
std::wstring ReadFirstInstallTime() { return std::wstring(); }
std::wstring ReadInstallTime() { return std::wstring(); }
ULONG ReadChannelNum() { return kDefaultChannel; }

}  // namespace mv::facts
