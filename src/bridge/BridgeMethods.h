#pragma once
// The eighteen methods of IMVDetectorCOM as the host serves them: each
// name, its argument kinds and how it is called on the control.
#include <windows.h>

#include <array>
#include <span>
#include <string_view>

#include <nlohmann/json.hpp>

#include "MVDetectorAX_h.h"
#include "win/ScopedBstr.h"

namespace mv::bridge {

enum class ArgumentKind { Integer, Text };

// One converted argument: `integer` or `text`, by the method's kind.
struct Argument {
    long integer = 0;
    win::ScopedBstr text;
};

struct BridgeMethod {
    const char* name;
    int argumentCount;
    std::array<ArgumentKind, 3> kinds;
    // Calls the control; `result` gets the answer's JSON value.
    HRESULT (*invoke)(IMVDetectorCOM* control, const Argument* args, nlohmann::json& result);
};

// In DISPID order.
std::span<const BridgeMethod> BridgeMethods() noexcept;
// Exact spelling only: the interface's names are the protocol's names.
const BridgeMethod* FindBridgeMethod(std::string_view name) noexcept;

}  // namespace mv::bridge
