#pragma once
// MivoBridge.exe run as a browser runs it: a child process whose standard
// input and output are pipes held by the caller.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace mv::test {

class BridgeProcess {
public:
    // With `job`, the host runs inside that job from its first instruction.
    BridgeProcess(const std::wstring& exe, const std::wstring& arguments = L"", HANDLE job = nullptr);
    ~BridgeProcess();
    BridgeProcess(const BridgeProcess&) = delete;
    BridgeProcess& operator=(const BridgeProcess&) = delete;

    bool started() const { return process_.hProcess != nullptr; }
    bool Send(std::string_view bytes);
    bool SendFrame(std::string_view message);
    // The next framed answer; none when the host ended, or wrote nothing for
    // two minutes (a hang check: Wine may run emulated here).
    std::optional<std::string> Receive();
    // Waits for each byte without polling: for the benchmark.
    std::optional<std::string> ReceiveBlocking();
    void CloseInput();
    // Closes input and waits for the end: the exit code, or STILL_ACTIVE for
    // a host that had to be killed.
    DWORD Finish();
    // Everything written to standard output until the end (after Finish).
    std::string TakeOutput();

private:
    bool ReadExactly(char* buffer, DWORD size, bool blocking);
    std::optional<std::string> ReceiveFrame(bool blocking);

    PROCESS_INFORMATION process_{};
    HANDLE input_ = nullptr;   // our end of the host's standard input
    HANDLE output_ = nullptr;  // our end of the host's standard output
    std::string ahead_;        // read but not yet taken
};

// Runs `exe arguments` to its end: its exit code and standard output.
DWORD RunBridgeCommand(const std::wstring& exe, const std::wstring& arguments, std::string* output = nullptr);

}  // namespace mv::test
