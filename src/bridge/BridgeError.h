#pragma once
// The errors the host answers with. An error is an answer like any other:
// {"id": <id or null>, "error": {"code": "<CODE>", "message": "<text>"}}.
#include <windows.h>

#include <string>

#include <nlohmann/json.hpp>

namespace mv::bridge {

enum class ErrorCode {
    BadRequest,          // not JSON, not an object, id/method/args missing or mistyped
    UnknownMethod,       // no method of that exact name
    BadArguments,        // wrong count or types
    TooLarge,            // a request or an answer beyond the size limits
    NotAllowed,          // the caller may not use the host
    ControlUnavailable,  // MivoDetector.dll cannot be loaded or the control not created
    MethodFailed,        // the control answered a failure HRESULT
};

const char* CodeName(ErrorCode code) noexcept;

// "0x80004005": how messages name a failure code.
std::string HResultText(HRESULT hr);

nlohmann::json ErrorAnswer(const nlohmann::json& id, ErrorCode code, const std::string& message);

}  // namespace mv::bridge
