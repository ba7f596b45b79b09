#include "client/ClientLauncher.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "client/ClientLocator.h"
#include "win/PathBuffer.h"
#include "win/UniqueHandle.h"

namespace mv::client {

namespace {

// A client that has not taken the data by then is treated as gone: this is
// the age at which the platform itself calls a window hung, so a client it
// still counts as responsive is never cut short, and the page's thread is
// not held longer than the platform would let it be before calling the
// browser itself unresponsive.
constexpr UINT kHandOffTimeoutMs = 5000;

constexpr DWORD kIdleWaitMs = 3000;

// The platform's limit for a process command line, terminator included.
constexpr size_t kMaxCommandLine = 32767;

void HandOff(HWND window, const wchar_t* command) {
    COPYDATASTRUCT record{};
    record.dwData = 0;
    record.cbData = command ? static_cast<DWORD>(wcslen(command) * sizeof(wchar_t)) : 0;
    record.lpData = const_cast<wchar_t*>(command);
    // The data is copied across to the client when the message is delivered,
    // so returning on a time-out leaves it nothing that dangles.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                          kHandOffTimeoutMs, &ignored);
}

bool Create(const std::wstring& path, std::wstring& commandLine, STARTUPINFOW& startup, DWORD flags,
            win::unique_process_information& process) {
    return ::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                            &startup, process.put());
}

void StartClient(const wchar_t* command) {
    const std::wstring path = ClientLocator();
    if (!win::PathExists(path.c_str())) return;

    // The path goes both as the application name and, quoted, at the head of
    // the command line: unquoted, a path with a space would let the platform
    // start the first program its leading words name ("C:\Program.exe").
    std::wstring commandLine;
    commandLine.reserve(path.size() + 3 + (command ? wcslen(command) : 0));
    commandLine += L'"';
    commandLine += path;
    commandLine += L"\" ";
    if (command) commandLine += command;
    // Too long for a command line: start nothing rather than a cut command.
    if (commandLine.size() + 1 > kMaxCommandLine) return;

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    win::unique_process_information process;
    // The client is the user's program, not the caller's: a browser ends
    // every process left in the job it runs its host in once the host is
    // closed, so the client leaves that job where the job lets it. Without a
    // job the flag changes nothing; a job that forbids leaving refuses it with
    // access denied, and the client then starts inside the job as before.
    if (!Create(path, commandLine, startup, CREATE_BREAKAWAY_FROM_JOB, process) &&
        !(::GetLastError() == ERROR_ACCESS_DENIED && Create(path, commandLine, startup, 0, process)))
        return;
    if (process.get().hProcess) ::WaitForInputIdle(process.get().hProcess, kIdleWaitMs);
}

}  // namespace

void ClientLauncher(const wchar_t* command, bool startOnly) {
    const HWND window = ::FindWindowW(kClientWindowClass, nullptr);
    if (::IsWindow(window)) {
        if (!startOnly) HandOff(window, command);
        return;
    }
    StartClient(command);
}

}  // namespace mv::client
