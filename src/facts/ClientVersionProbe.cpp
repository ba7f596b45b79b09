#include "facts/ClientVersionProbe.h"

namespace mv::facts {

ULONG ClientVersionProbe() {
    // Filled in with the version probe.
    return 0;
}

}  // namespace mv::facts
