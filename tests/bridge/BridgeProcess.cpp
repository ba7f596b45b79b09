#include "BridgeProcess.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace mv::test {

namespace {

constexpr ULONGLONG kHangBoundMs = 120000;

}  // namespace

BridgeProcess::BridgeProcess(const std::wstring& exe, const std::wstring& arguments, HANDLE job) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE childInput = nullptr, childOutput = nullptr;
    if (!::CreatePipe(&childInput, &input_, &inherit, 0)) return;
    if (!::CreatePipe(&output_, &childOutput, &inherit, 0)) {
        ::CloseHandle(childInput);
        return;
    }
    ::SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    const auto start = [&] {
        return ::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, job ? CREATE_SUSPENDED : 0,
                                nullptr, nullptr, &startup, &process_);
    };
    // Once seen under a loaded wine64: a start refused at once, its error
    // unrecorded. Say why, and try once more before the test counts it.
    if (!start()) {
        std::fprintf(stderr, "BridgeProcess: starting %ls failed (error %lu), trying again\n", exe.c_str(),
                     ::GetLastError());
        ::Sleep(500);
        if (!start()) {
            std::fprintf(stderr, "BridgeProcess: starting %ls failed again (error %lu)\n", exe.c_str(),
                         ::GetLastError());
            process_ = {};
        }
    }
    // A host that could not be put in the job ends before its first instruction.
    if (job && process_.hProcess &&
        !(::AssignProcessToJobObject(job, process_.hProcess) && ::ResumeThread(process_.hThread) != ~DWORD{0}))
        ::TerminateProcess(process_.hProcess, 99);
    ::CloseHandle(childInput);
    ::CloseHandle(childOutput);
}

BridgeProcess::~BridgeProcess() {
    if (process_.hProcess && ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
        ::TerminateProcess(process_.hProcess, 99);
    for (HANDLE h : {input_, output_, process_.hProcess, process_.hThread})
        if (h) ::CloseHandle(h);
}

bool BridgeProcess::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!input_ || !::WriteFile(input_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

bool BridgeProcess::SendFrame(std::string_view message) {
    const auto length = static_cast<std::uint32_t>(message.size());
    std::string frame(reinterpret_cast<const char*>(&length), sizeof(length));
    return Send(frame.append(message));
}

bool BridgeProcess::ReadExactly(char* buffer, DWORD size, bool blocking) {
    const ULONGLONG deadline = ::GetTickCount64() + kHangBoundMs;
    while (size > 0) {
        if (!ahead_.empty()) {
            const DWORD part = static_cast<DWORD>(std::min<size_t>(size, ahead_.size()));
            std::memcpy(buffer, ahead_.data(), part);
            ahead_.erase(0, part);
            buffer += part;
            size -= part;
            continue;
        }
        DWORD available = 0;
        if (!blocking) {
            if (!::PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) return false;
            if (available == 0) {
                // A child the host started may hold the pipe open after the host ends.
                if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0 || ::GetTickCount64() > deadline)
                    return false;
                ::Sleep(2);
                continue;
            }
        }
        // What has arrived, up to a chunk: often the whole frame in one call.
        ahead_.resize(blocking ? 64 * 1024 : std::min<DWORD>(available, 64 * 1024));
        DWORD got = 0;
        const BOOL read = ::ReadFile(output_, ahead_.data(), static_cast<DWORD>(ahead_.size()), &got, nullptr);
        ahead_.resize(read ? got : 0);
        if (!read || got == 0) return false;
    }
    return true;
}

std::optional<std::string> BridgeProcess::ReceiveFrame(bool blocking) {
    std::uint32_t length = 0;
    if (!ReadExactly(reinterpret_cast<char*>(&length), sizeof(length), blocking)) return std::nullopt;
    std::string message(length, '\0');
    if (!ReadExactly(message.data(), length, blocking)) return std::nullopt;
    return message;
}

std::optional<std::string> BridgeProcess::Receive() { return ReceiveFrame(false); }

std::optional<std::string> BridgeProcess::ReceiveBlocking() { return ReceiveFrame(true); }

void BridgeProcess::CloseInput() {
    if (input_) ::CloseHandle(input_);
    input_ = nullptr;
}

DWORD BridgeProcess::Finish() {
    CloseInput();
    if (!process_.hProcess) return STILL_ACTIVE;
    if (::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(kHangBoundMs)) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.hProcess, 99);
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

std::string BridgeProcess::TakeOutput() {
    std::string output = std::move(ahead_);
    DWORD available = 0;
    while (::PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string chunk(available, '\0');
        DWORD got = 0;
        if (!::ReadFile(output_, chunk.data(), available, &got, nullptr) || got == 0) break;
        output.append(chunk, 0, got);
    }
    return output;
}

DWORD RunBridgeCommand(const std::wstring& exe, const std::wstring& arguments, std::string* output) {
    BridgeProcess process(exe, arguments);
    const DWORD code = process.Finish();
    if (output) *output = process.TakeOutput();
    return code;
}

}  // namespace mv::test
