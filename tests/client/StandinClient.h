#pragma once
// Driving the stand-in client (tests/fixtures/standin_client) from a test:
// where it is, starting and stopping instances, reading what it recorded.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mv::test {

// The built stand-in, MVPlayer.exe.
std::wstring StandinClientExe();
// Copies the stand-in to `path` (its folders are made).
void InstallStandin(const std::wstring& path);
// Where the stand-in at `exe` writes its log when no log is named for it.
inline std::wstring StandinLogOf(const std::wstring& exe) { return exe + L".log"; }

// One line of a stand-in's log.
struct StandinEvent {
    std::string kind;             // "start", "copydata", "hang" or "exit"
    DWORD pid = 0;
    std::wstring commandLine;     // start
    unsigned long long dwData = 0;  // copydata
    DWORD cbData = 0;             // copydata
    std::string bytes;            // copydata: exactly what was received
};
std::vector<StandinEvent> ReadStandinLog(const std::wstring& logPath);
std::vector<StandinEvent> EventsOf(const std::vector<StandinEvent>& events, const std::string& kind);

// The UTF-16LE bytes of `text`, no terminator: what a hand-off must carry.
std::string Utf16Bytes(std::wstring_view text);

// The client's window, or null.
HWND FindClientWindow();
// Waits (generously) for a client window; null when none appears.
HWND WaitForClientWindow();
// Starts the stand-in at `exe` directly, not through the launcher, and
// waits for its window.
HWND StartStandin(const std::wstring& exe);
// Makes the instance behind `window` stop answering until released.
void HangStandin(HWND window, const std::wstring& logPath);
void ReleaseStandin(HWND window);
// Hangs the instance behind `window`, runs `call`, releases the instance and
// answers how many milliseconds the call took.
ULONGLONG TimeAgainstHungStandin(HWND window, const std::wstring& logPath, const std::function<void()>& call);
// A call to a hung client that takes longer never returned: the hand-off's
// five-second bound and ten seconds' grace. A hang check, not a speed test.
inline constexpr ULONGLONG kHungCallLimitMs = 5000 + 10000;
// Closes every client window and waits for its process to end (killing
// one that does not); true when none was left running.
bool CloseAllClients();

}  // namespace mv::test
