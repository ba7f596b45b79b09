#pragma once
// One request in, one answer out: checks every field of the request, then
// calls the method on the control, loaded on first use.
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "bridge/LoadedControl.h"
#include "sitelock/SiteLock.h"

namespace mv::bridge {

// Requests are flat ({"args": [...]} is two deep); deeper text is refused
// before it is parsed.
inline constexpr int kMaxRequestNesting = 32;

class RequestDispatcher {
public:
    // `controlPath`: the MivoDetector.dll to load; the site lock is read from
    // mivo.cfg beside it.
    explicit RequestDispatcher(std::wstring controlPath);

    // The answer to one message: always JSON text, never longer than
    // kMaxAnswerBytes, whatever the message holds.
    std::string Answer(std::string_view message);

    // The answer to a request too large to be read.
    static std::string TooLargeRequestAnswer();

private:
    nlohmann::json Handle(const nlohmann::json& request);
    nlohmann::json CallMethod(const nlohmann::json& id, std::string_view name, const nlohmann::json* args,
                              const std::wstring& origin);
    bool OriginAllowed(const nlohmann::json& request, std::wstring& origin);
    static std::string Serialize(const nlohmann::json& answer);

    std::wstring controlPath_;
    // mivo.cfg beside the control; none when the control's folder is unknown.
    std::optional<sitelock::SiteLockFile> siteLock_;
    LoadedControl control_;
};

}  // namespace mv::bridge
