#include "bridge/BridgeError.h"

#include <cstdio>

namespace mv::bridge {

const char* CodeName(ErrorCode code) noexcept {
    switch (code) {
        case ErrorCode::BadRequest: return "BAD_REQUEST";
        case ErrorCode::UnknownMethod: return "UNKNOWN_METHOD";
        case ErrorCode::BadArguments: return "BAD_ARGUMENTS";
        case ErrorCode::TooLarge: return "TOO_LARGE";
        case ErrorCode::NotAllowed: return "NOT_ALLOWED";
        case ErrorCode::ControlUnavailable: return "CONTROL_UNAVAILABLE";
        case ErrorCode::MethodFailed: return "METHOD_FAILED";
    }
    return "INTERNAL";
}

std::string HResultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

nlohmann::json ErrorAnswer(const nlohmann::json& id, ErrorCode code, const std::string& message) {
    return {{"id", id}, {"error", {{"code", CodeName(code)}, {"message", message}}}};
}

}  // namespace mv::bridge
