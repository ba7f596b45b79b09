#include "bridge/RequestDispatcher.h"

#include <climits>
#include <cstdint>
#include <new>
#include <vector>

#include "bridge/BridgeError.h"
#include "bridge/BridgeMethods.h"
#include "bridge/BridgeVersion.h"
#include "bridge/JsonNesting.h"
#include "bridge/NativeMessaging.h"
#include "bridge/Utf8Text.h"
#include "facts/ControlFilePath.h"

namespace mv::bridge {

namespace {

using nlohmann::json;

// Ids are matched by the page library, in JavaScript: only integers that a
// JavaScript number holds exactly can be matched.
constexpr std::int64_t kMaxSafeInteger = (std::int64_t{1} << 53) - 1;

bool IsUsableId(const json& id) {
    if (id.is_number_unsigned()) return id.get<std::uint64_t>() <= static_cast<std::uint64_t>(kMaxSafeInteger);
    if (id.is_number_integer()) {
        const auto value = id.get<std::int64_t>();
        return value >= -kMaxSafeInteger && value <= kMaxSafeInteger;
    }
    return false;
}

// Integers within the signed 32-bit range, written as integers: 1.5, 2^31,
// "7", true and null are all refused, never wrapped or rounded.
bool ToInteger(const json& value, long& out) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(INT32_MAX)) return false;
        out = static_cast<long>(number);
        return true;
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number < INT32_MIN || number > INT32_MAX) return false;
        out = static_cast<long>(number);
        return true;
    }
    return false;
}

bool ToText(const json& value, win::ScopedBstr& out) {
    if (!value.is_string()) return false;
    std::wstring wide;
    if (!WideFromUtf8(value.get_ref<const std::string&>(), wide)) return false;
    out = win::ScopedBstr(wide);
    if (!out.Get()) throw std::bad_alloc();
    return true;
}

const char* KindName(ArgumentKind kind) { return kind == ArgumentKind::Integer ? "a 32-bit integer" : "a string"; }

json Hello() {
    json methods = json::array();
    for (const BridgeMethod& method : BridgeMethods()) methods.push_back(method.name);
    return {{"host", "MivoBridge"}, {"version", MV_BRIDGE_VERSION_TEXT}, {"methods", std::move(methods)}};
}

}  // namespace

RequestDispatcher::RequestDispatcher(std::wstring controlPath) : controlPath_(std::move(controlPath)) {
    // Without a folder there is no control to serve either (CONTROL_UNAVAILABLE).
    const size_t slash = controlPath_.find_last_of(L'\\');
    if (slash != std::wstring::npos) siteLock_.emplace(controlPath_.substr(0, slash) + facts::kConfigFileName);
}

std::string RequestDispatcher::Answer(std::string_view message) {
    try {
        if (!NestingWithin(message, kMaxRequestNesting))
            return Serialize(ErrorAnswer(nullptr, ErrorCode::BadRequest, "the request is nested too deeply"));
        // The parser refuses text that is not UTF-8, and does not throw.
        const json request = json::parse(message, nullptr, false);
        if (request.is_discarded())
            return Serialize(ErrorAnswer(nullptr, ErrorCode::BadRequest, "the request is not JSON"));
        return Serialize(Handle(request));
    } catch (const std::bad_alloc&) {
        return Serialize(ErrorAnswer(nullptr, ErrorCode::TooLarge, "the host ran out of memory for this request"));
    } catch (...) {
        return Serialize(ErrorAnswer(nullptr, ErrorCode::MethodFailed, "the host failed while handling the request"));
    }
}

std::string RequestDispatcher::TooLargeRequestAnswer() {
    return Serialize(ErrorAnswer(nullptr, ErrorCode::TooLarge,
                                 "the request is longer than " + std::to_string(kMaxRequestBytes) + " bytes"));
}

// Every request goes through here. A check of who is asking belongs after the
// request is known to be well-formed and before any work.
json RequestDispatcher::Handle(const json& request) {
    if (!request.is_object()) return ErrorAnswer(nullptr, ErrorCode::BadRequest, "the request is not a JSON object");
    const auto idField = request.find("id");
    if (idField == request.end() || !IsUsableId(*idField))
        return ErrorAnswer(nullptr, ErrorCode::BadRequest, "\"id\" must be an integer (at most 2^53 - 1 in size)");
    const json& id = *idField;
    const auto methodField = request.find("method");
    if (methodField == request.end() || !methodField->is_string())
        return ErrorAnswer(id, ErrorCode::BadRequest, "\"method\" must be a string");
    const auto argsField = request.find("args");
    const json* args = argsField == request.end() ? nullptr : &*argsField;
    if (args && !args->is_array()) return ErrorAnswer(id, ErrorCode::BadRequest, "\"args\" must be an array");

    std::wstring origin;
    if (!OriginAllowed(request, origin))
        return ErrorAnswer(id, ErrorCode::NotAllowed, "this installation does not let the page's site use the control");
    const std::string& name = methodField->get_ref<const std::string&>();
    if (name == "$hello") return {{"id", id}, {"result", Hello()}};
    return CallMethod(id, name, args, origin);
}

json RequestDispatcher::CallMethod(const json& id, std::string_view name, const json* args, const std::wstring& origin) {
    const BridgeMethod* method = FindBridgeMethod(name);
    if (!method) return ErrorAnswer(id, ErrorCode::UnknownMethod, "no method of that name (names are case-sensitive)");
    if (!args) return ErrorAnswer(id, ErrorCode::BadRequest, "\"args\" must be an array");
    if (args->size() != static_cast<size_t>(method->argumentCount))
        return ErrorAnswer(id, ErrorCode::BadArguments,
                           std::string(method->name) + " takes " + std::to_string(method->argumentCount) +
                               " argument(s), not " + std::to_string(args->size()));
    std::vector<Argument> converted(3);
    for (int i = 0; i < method->argumentCount; ++i) {
        const json& value = (*args)[static_cast<size_t>(i)];
        const ArgumentKind kind = method->kinds[static_cast<size_t>(i)];
        const bool ok = kind == ArgumentKind::Integer ? ToInteger(value, converted[i].integer)
                                                      : ToText(value, converted[i].text);
        if (!ok)
            return ErrorAnswer(id, ErrorCode::BadArguments,
                               "argument " + std::to_string(i + 1) + " of " + method->name + " must be " +
                                   KindName(kind));
    }

    // A control made while the installation was open takes no page, and
    // refuses once it is locked: a new one reads the lock as it stands.
    const bool showsPage = !origin.empty();
    if (!control_.get() || (showsPage && !control_.ShowPage(origin))) {
        std::string why;
        if (FAILED(control_.Load(controlPath_, why))) return ErrorAnswer(id, ErrorCode::ControlUnavailable, why);
        if (showsPage) control_.ShowPage(origin);
    }
    json result;
    const HRESULT hr = method->invoke(control_.get(), converted.data(), result);
    if (FAILED(hr))
        return ErrorAnswer(id, ErrorCode::MethodFailed, std::string(method->name) + " failed (" + HResultText(hr) + ")");
    // A long stored value: refused before it is escaped and copied again.
    if (result.is_string() && result.get_ref<const std::string&>().size() > kMaxAnswerBytes)
        return ErrorAnswer(id, ErrorCode::TooLarge, "the answer is longer than a browser accepts");
    return {{"id", id}, {"result", std::move(result)}};
}

// Looked at for every request, so that a changed mivo.cfg applies to the next
// one. A locked installation serves only a request whose "origin" (put there
// by the extension, from the browser) matches a rule.
bool RequestDispatcher::OriginAllowed(const json& request, std::wstring& origin) {
    const auto field = request.find("origin");
    if (field == request.end() || !field->is_string() || !WideFromUtf8(field->get_ref<const std::string&>(), origin))
        origin.clear();
    const auto lock = siteLock_ ? siteLock_->Current() : nullptr;
    // Only a locked installation's control is shown the page.
    if (!lock || !lock->Locked()) {
        origin.clear();
        return true;
    }
    return !origin.empty() && lock->Allows(origin);
}

std::string RequestDispatcher::Serialize(const json& answer) {
    std::string text = answer.dump(-1, ' ', false, json::error_handler_t::replace);
    if (text.size() <= kMaxAnswerBytes) return text;
    const auto id = answer.find("id");
    return ErrorAnswer(id == answer.end() ? json(nullptr) : *id, ErrorCode::TooLarge,
                       "the answer is longer than a browser accepts")
        .dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace mv::bridge
