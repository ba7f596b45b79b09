#include "StandinClient.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "TestSupport.h"
#include "client/ClientLauncher.h"
#include "win/UniqueHandle.h"

namespace mv::test {

namespace {

// Polling bounds for things that happen at once unless something hangs:
// reaching them fails the test; they measure nothing.
constexpr int kPollMs = 20;
constexpr int kPatienceMs = 20000;

std::string FromHex(const std::string& hex) {
    if (hex == "-") return std::string();
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::wstring WideFromBytes(const std::string& bytes) {
    std::wstring out(bytes.size() / 2, L'\0');
    memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::wstring ReleaseEventName(DWORD pid) { return L"MVPlayerStandin.Release." + std::to_wstring(pid); }

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid;
}

}  // namespace

std::wstring StandinClientExe() { return BuildDir() + L"\\tests\\fixtures\\standin_client\\MVPlayer.exe"; }

void InstallStandin(const std::wstring& path) {
    MakeDirs(path.substr(0, path.find_last_of(L'\\')));
    ASSERT_TRUE(::CopyFileW(StandinClientExe().c_str(), path.c_str(), FALSE)) << "cannot copy the stand-in client";
}

std::vector<StandinEvent> ReadStandinLog(const std::wstring& logPath) {
    std::vector<StandinEvent> events;
    std::istringstream lines(ReadFileBytes(logPath));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        StandinEvent event;
        fields >> event.kind >> event.pid;
        std::string hex;
        if (event.kind == "start") {
            fields >> hex;
            event.commandLine = WideFromBytes(FromHex(hex));
        } else if (event.kind == "copydata") {
            fields >> event.dwData >> event.cbData >> hex;
            event.bytes = FromHex(hex);
        }
        events.push_back(std::move(event));
    }
    return events;
}

std::vector<StandinEvent> EventsOf(const std::vector<StandinEvent>& events, const std::string& kind) {
    std::vector<StandinEvent> out;
    for (const auto& event : events)
        if (event.kind == kind) out.push_back(event);
    return out;
}

std::string Utf16Bytes(std::wstring_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

HWND FindClientWindow() { return ::FindWindowW(client::kClientWindowClass, nullptr); }

HWND WaitForClientWindow() {
    for (int waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (HWND window = FindClientWindow()) return window;
        ::Sleep(kPollMs);
    }
    return nullptr;
}

HWND StartStandin(const std::wstring& exe) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    win::unique_process_information process;
    EXPECT_TRUE(::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, process.put()))
        << "cannot start the stand-in client";
    // Its own window, not one some earlier instance may have left behind.
    for (int waited = 0; waited < kPatienceMs; waited += kPollMs) {
        for (HWND window = nullptr;
             (window = ::FindWindowExW(nullptr, window, client::kClientWindowClass, nullptr)) != nullptr;) {
            if (ProcessOf(window) == process.get().dwProcessId) return window;
        }
        ::Sleep(kPollMs);
    }
    ADD_FAILURE() << "the stand-in client shows no window";
    return nullptr;
}

void HangStandin(HWND window, const std::wstring& logPath) {
    ASSERT_TRUE(::PostMessageW(window, WM_APP + 1, 0, 0));
    for (int waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (!EventsOf(ReadStandinLog(logPath), "hang").empty()) return;
        ::Sleep(kPollMs);
    }
    FAIL() << "the stand-in client did not enter its hung mode";
}

void ReleaseStandin(HWND window) {
    win::unique_handle release(::CreateEventW(nullptr, TRUE, FALSE, ReleaseEventName(ProcessOf(window)).c_str()));
    if (release) ::SetEvent(release.get());
}

ULONGLONG TimeAgainstHungStandin(HWND window, const std::wstring& logPath, const std::function<void()>& call) {
    HangStandin(window, logPath);
    const ULONGLONG before = ::GetTickCount64();
    call();
    const ULONGLONG elapsed = ::GetTickCount64() - before;
    ReleaseStandin(window);
    std::printf("a call to a hung client returned after %llu ms\n", elapsed);
    return elapsed;
}

bool CloseAllClients() {
    bool allEnded = true;
    for (int round = 0; round < 16; ++round) {
        HWND window = FindClientWindow();
        if (!window) return allEnded;
        win::unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, ProcessOf(window)));
        ReleaseStandin(window);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        if (!process) continue;
        if (::WaitForSingleObject(process.get(), kPatienceMs) != WAIT_OBJECT_0) {
            allEnded = false;
            ::TerminateProcess(process.get(), 1);
            ::WaitForSingleObject(process.get(), kPatienceMs);
        }
    }
    return false;
}

}  // namespace mv::test
