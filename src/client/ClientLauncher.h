#pragma once

namespace mv::client {

inline constexpr wchar_t kClientWindowClass[] = L"{2567FAD6-AA10-43ea-AB9B-B6AE606078D7}";

// The one road to the desktop client: hands `command` to the running client's
// window, or starts the client with it. With `startOnly` a running client is
// left alone. Reports nothing.
void ClientLauncher(const wchar_t* command, bool startOnly);

}  // namespace mv::client
