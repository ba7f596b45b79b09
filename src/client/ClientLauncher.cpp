#include "client/ClientLauncher.h"

namespace mv::client {

void ClientLauncher(const wchar_t* command, bool startOnly) {
    // Filled in with the hand-off to the client.
    (void)command;
    (void)startOnly;
}

}  // namespace mv::client
