// MivoBridge.exe (MivoBridge64.exe in the 64-bit build): the native messaging
// host that gives a browser extension the control's eighteen methods.
//
//   MivoBridge.exe [anything]           serve framed JSON requests on standard
//                                       input and output (how browsers start
//                                       it; their arguments are ignored)
//   MivoBridge.exe --register [--machine]     tell the browsers where it is
//   MivoBridge.exe --unregister [--machine]   undo that
//   MivoBridge.exe --status             what the browsers will find
#include <windows.h>
#include <objbase.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "bridge/HostLocation.h"
#include "bridge/HostRegistration.h"
#include "bridge/HostStatus.h"
#include "bridge/NativeMessaging.h"
#include "bridge/RequestDispatcher.h"
#include "ProductNames.h"
#include "win/SystemLibrary.h"

namespace {

using namespace mv::bridge;

int Serve() {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    // Standard output carries answers only: anything else in the process that
    // writes to "standard output" reaches standard error instead.
    ::SetStdHandle(STD_OUTPUT_HANDLE, ::GetStdHandle(STD_ERROR_HANDLE));

    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    int status = 0;
    {
        MessageReader reader(input);
        MessageWriter writer(output);
        RequestDispatcher dispatcher(ControlPathBesideHost());
        std::string message;
        for (;;) {
            const auto read = reader.Next(message);
            if (read == MessageReader::Status::End) break;
            const std::string answer = read == MessageReader::Status::TooLarge
                                           ? RequestDispatcher::TooLargeRequestAnswer()
                                           : dispatcher.Answer(message);
            if (!writer.Write(answer)) break;  // the browser has gone
        }
    }
    ::CoUninitialize();
    return status;
}

int Usage() {
    std::fputs(MV_BRIDGE_FILE_NAME ": the browsers' native messaging host for MivoDetector.\n"
               "  --register [--machine]    register for Chrome, Chromium, Edge and Firefox\n"
               "                            (per user; --machine: for every user, as administrator)\n"
               "  --unregister [--machine]  remove that registration\n"
               "  --status                  show what the browsers find\n"
               "Started by a browser, it serves requests on standard input and output.\n",
               stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Never the working folder a browser chose, nor a DLL planted beside us.
    mv::win::SearchSystemFolderOnly();
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const bool machine = argc > 2 && std::wcscmp(argv[2], L"--machine") == 0;
    const RegistrationScope scope = machine ? RegistrationScope::Machine : RegistrationScope::User;
    if (command == L"--register") return RegisterHost(scope);
    if (command == L"--unregister") return UnregisterHost(scope);
    if (command == L"--status") return PrintHostStatus();
    if (command == L"--help" || command == L"/?") return Usage();
    // Run by hand in a console, with nothing to serve: say what it is.
    if (::GetFileType(::GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_CHAR) return Usage();
    return Serve();
}
