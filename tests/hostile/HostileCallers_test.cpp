// Hostile callers: every script method called through IDispatch as a page
// would, with the inputs ActiveX fuzzers send, with the client absent,
// running and hung; and the store opened over damaged files. The calls run
// in child processes (this program started again with "--hostile-child") so
// that a crash or a hang is counted and the run goes on.
#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "HostileChild.h"
#include "TestSupport.h"
#include "MVDetectorAX_h.h"
#include "client/ClientLauncher.h"

namespace {

using mv::hostile::Progress;

// The launcher gives a client 5 s to take a command; a call still running
// well after that has hung.
constexpr DWORD kHandOffBoundMs = 5000;
constexpr DWORD kHangBoundMs = kHandOffBoundMs + 10000;

struct Totals {
    long calls = 0, crashes = 0, hangs = 0, lost = 0, files = 0, forbidden = 0;
    std::wstring firstForbidden, firstCrash, firstHang;
} g_totals;

std::wstring SelfPath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// A progress block shared with one child at a time.
class SharedProgress {
public:
    SharedProgress() {
        static int serial = 0;
        name_ = L"MvHostile." + std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(serial++);
        mapping_ = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Progress),
                                        name_.c_str());
        view_ = static_cast<Progress*>(::MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Progress)));
        ZeroMemory(view_, sizeof(Progress));
    }
    ~SharedProgress() {
        ::UnmapViewOfFile(view_);
        ::CloseHandle(mapping_);
    }
    Progress* operator->() const { return view_; }
    const std::wstring& name() const { return name_; }

private:
    std::wstring name_;
    HANDLE mapping_ = nullptr;
    Progress* view_ = nullptr;
};

enum class Outcome { Finished, Crashed, Hung, NotStarted };

// Runs one child to its end under the watchdog: the bound restarts whenever
// the child begins another call.
Outcome RunChildOnce(const std::wstring& args, SharedProgress& progress) {
    std::wstring commandLine = L"\"" + SelfPath() + L"\" --hostile-child " + args + L" " + progress.name();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return Outcome::NotStarted;
    LONG lastStarted = -1;
    DWORD since = ::GetTickCount();
    Outcome outcome = Outcome::Finished;
    for (;;) {
        if (::WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) {
            DWORD code = 1;
            ::GetExitCodeProcess(process.hProcess, &code);
            outcome = code == mv::hostile::kChildFinished ? Outcome::Finished : Outcome::Crashed;
            break;
        }
        if (progress->started != lastStarted) {
            lastStarted = progress->started;
            since = ::GetTickCount();
        } else if (::GetTickCount() - since > kHangBoundMs) {
            ::TerminateProcess(process.hProcess, 99);
            ::WaitForSingleObject(process.hProcess, 10000);
            outcome = Outcome::Hung;
            break;
        }
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return outcome;
}

void Record(Outcome outcome, const std::wstring& what) {
    if (outcome == Outcome::Crashed || outcome == Outcome::NotStarted) {
        ++g_totals.crashes;
        if (g_totals.firstCrash.empty()) g_totals.firstCrash = what;
    } else if (outcome == Outcome::Hung) {
        ++g_totals.hangs;
        if (g_totals.firstHang.empty()) g_totals.firstHang = what;
    }
}

void TakeForbidden(SharedProgress& progress) {
    g_totals.forbidden += progress->forbidden;
    if (progress->forbidden && g_totals.firstForbidden.empty()) g_totals.firstForbidden = progress->firstForbidden;
}

// Every call of one method; a child that crashes or hangs is replaced by one
// that goes on after the call it was stuck in.
void RunMethod(int method, const std::wstring& mode) {
    LONG first = 0;
    for (;;) {
        SharedProgress progress;
        const std::wstring what = mode + L" " + mv::hostile::kMethods[method];
        const Outcome outcome =
            RunChildOnce(L"calls " + std::to_wstring(method) + L" " + std::to_wstring(first), progress);
        g_totals.calls += progress->done - first;
        TakeForbidden(progress);
        Record(outcome, what + L" call " + std::to_wstring(progress->started - 1));
        if (outcome == Outcome::Finished || outcome == Outcome::NotStarted) return;
        if (outcome == Outcome::Hung || outcome == Outcome::Crashed) ++g_totals.calls;
        if (progress->started <= first) return;  // died before its first call: nothing to skip past
        first = progress->started;
    }
}

Progress RunStoreJob(const std::wstring& job) {
    SharedProgress progress;
    Record(RunChildOnce(job, progress), L"store job " + job);
    return *(&*progress.operator->());
}

// The client's installation and its process, per mode.
class ClientSetup {
public:
    ClientSetup() { KillStandins(); }
    ~ClientSetup() { Stop(); }

    void Absent() { user_.SetString(L"Path", dir_.Child(L"absent")); }

    // Installs the stand-in and starts it; `hung` then stops it answering.
    bool Running(bool hung) {
        const std::wstring exe = dir_.Child(L"MVPlayer.exe");
        const std::wstring source = mv::test::BuildDir() + L"\\tests\\fixtures\\standin_client\\MVPlayer.exe";
        if (!::CopyFileW(source.c_str(), exe.c_str(), FALSE)) return false;
        user_.SetString(L"Path", dir_.path());
        const std::wstring log = dir_.Child(L"standin.log");
        ::SetEnvironmentVariableW(L"MV_STANDIN_LOG", log.c_str());
        ::SetEnvironmentVariableW(L"MV_STANDIN_LIFETIME_MS", L"900000");
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        const BOOL started = ::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                              nullptr, &startup, &process_);
        ::SetEnvironmentVariableW(L"MV_STANDIN_LOG", nullptr);
        ::SetEnvironmentVariableW(L"MV_STANDIN_LIFETIME_MS", nullptr);
        if (!started) return false;
        ::WaitForInputIdle(process_.hProcess, 10000);
        HWND window = nullptr;
        for (int i = 0; i < 100 && !window; ++i) {
            window = ::FindWindowW(mv::client::kClientWindowClass, nullptr);
            if (!window) ::Sleep(100);
        }
        if (!window) return false;
        if (!hung) return true;
        ::PostMessageW(window, WM_APP + 1, 900000, 0);
        for (int i = 0; i < 100; ++i) {
            if (mv::test::ReadFileBytes(log).find("hang ") != std::string::npos) return true;
            ::Sleep(100);
        }
        return false;
    }

    void Stop() {
        if (process_.hProcess) {
            const std::wstring release = L"MVPlayerStandin.Release." + std::to_wstring(process_.dwProcessId);
            if (HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, release.c_str())) {
                ::SetEvent(event);
                ::CloseHandle(event);
            }
            ::TerminateProcess(process_.hProcess, 0);
            ::WaitForSingleObject(process_.hProcess, 10000);
            ::CloseHandle(process_.hThread);
            ::CloseHandle(process_.hProcess);
            process_ = {};
        }
        KillStandins();
    }

    // Any client window left by an earlier run or started by a call.
    static int KillStandins() {
        int killed = 0;
        while (HWND window = ::FindWindowW(mv::client::kClientWindowClass, nullptr)) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
            if (!process) break;
            ::TerminateProcess(process, 0);
            ::WaitForSingleObject(process, 10000);
            ::CloseHandle(process);
            if (++killed > 20) break;
        }
        return killed;
    }

private:
    mv::test::ScopedRegistryKey user_{HKEY_CURRENT_USER, L"Software\\MIVO\\MiVoVA"};
    mv::test::ScopedRegistryKey machine_{HKEY_LOCAL_MACHINE, L"Software\\MIVO\\MiVoVA\\InstallPath",
                                         mv::test::kClientInstallerView};
    mv::test::ScopedTempDir dir_{L"hostile-client"};
    PROCESS_INFORMATION process_{};
};

// The store's file in the prefix, kept as it was found and put back after.
class StoreFile {
public:
    StoreFile() {
        wchar_t documents[MAX_PATH] = {};
        ::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents);
        folder_ = std::wstring(documents) + L"\\Mivo\x5f71\x97f3\\config";
        path_ = folder_ + L"\\UserData.xml";
        mv::test::MakeDirs(folder_);
        hadFile_ = mv::test::FileExists(path_);
        if (hadFile_) saved_ = mv::test::ReadFileBytes(path_);
        Clear();
    }
    ~StoreFile() {
        Clear();
        if (hadFile_) mv::test::WriteFileBytes(path_, saved_);
    }
    void Clear() const {
        ::DeleteFileW(path_.c_str());
        ::DeleteFileW(bad().c_str());
    }
    const std::wstring& path() const { return path_; }
    std::wstring bad() const { return path_ + L".bad"; }

private:
    std::wstring folder_, path_;
    bool hadFile_ = false;
    std::string saved_;
};

// The built control registered machine-wide for the run, as an installer would.
class ControlRegistration {
public:
    ControlRegistration() : dll_(::LoadLibraryW(mv::test::ControlDllPath().c_str())) {
        if (!dll_) return;
        auto reg = reinterpret_cast<HRESULT(__stdcall*)()>(::GetProcAddress(dll_, "DllRegisterServer"));
        registered_ = reg && SUCCEEDED(reg());
    }
    ~ControlRegistration() {
        if (registered_) {
            auto unreg = reinterpret_cast<HRESULT(__stdcall*)()>(::GetProcAddress(dll_, "DllUnregisterServer"));
            if (unreg) unreg();
        }
        if (dll_) ::FreeLibrary(dll_);
    }
    bool ok() const { return registered_; }

private:
    HMODULE dll_;
    bool registered_ = false;
};

class HostileTest : public ::testing::Test {
protected:
    mv::test::ComApartment apartment_;
    ControlRegistration registration_;
    StoreFile store_;
};

TEST_F(HostileTest, EveryMethodTakesHostileInputsWithTheClientAbsentRunningAndHung) {
    ASSERT_TRUE(registration_.ok());
    const Progress seeded = RunStoreJob(L"seed");

    {
        ClientSetup client;
        client.Absent();
        for (int m = 0; m < mv::hostile::kMethodCount; ++m) RunMethod(m, L"absent");
        EXPECT_EQ(0, ClientSetup::KillStandins()) << "a call started a client that is not installed";
    }
    for (bool hung : {false, true}) {
        ClientSetup client;
        ASSERT_TRUE(client.Running(hung));
        for (int m = 0; m < mv::hostile::kMethodCount; ++m) RunMethod(m, hung ? L"hung" : L"running");
    }

    EXPECT_TRUE(seeded.storeWorks) << "the store kept no value";
    g_totals.lost += RunStoreJob(L"verify").lost;
    EXPECT_EQ(0, g_totals.crashes) << "first: " << ::testing::PrintToString(g_totals.firstCrash);
    EXPECT_EQ(0, g_totals.hangs) << "first: " << ::testing::PrintToString(g_totals.firstHang);
    EXPECT_EQ(0, g_totals.forbidden) << "first: " << ::testing::PrintToString(g_totals.firstForbidden);
    EXPECT_EQ(0, g_totals.lost);
}

// Damaged copies of a valid store file, and files that are not XML at all.
std::vector<std::pair<std::string, bool>> DamagedFiles() {
    const std::string valid =
        "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<UserData>\r\n\t<volume>\r\n\t\t<![CDATA[80]]>\r\n"
        "\t</volume>\r\n\t<theme>\r\n\t\t<![CDATA[dark]]>\r\n\t</theme>\r\n</UserData>\r\n";
    std::vector<std::pair<std::string, bool>> files;  // bytes, certainly unusable
    // Every cut that loses the root's closing tag.
    const size_t lastCut = valid.rfind("</UserData>") + 10;
    for (size_t n = 0; n < lastCut; ++n) files.push_back({valid.substr(0, n), true});
    std::mt19937 random(20261208);
    for (int i = 0; i < 60; ++i) {
        std::string flipped = valid;
        for (int k = 0; k < 1 + i % 4; ++k) flipped[random() % flipped.size()] ^= static_cast<char>(1 << (random() % 8));
        files.push_back({flipped, false});
    }
    std::string gb = valid;
    gb.replace(gb.find("dark"), 4, "encoding=\"GB2312\" \xc4\xe3\xba\xc3");
    files.push_back({gb, false});
    std::string badUtf8 = valid;
    badUtf8.replace(badUtf8.find("dark"), 4, "\xff\xfe\xc0\x80\xed\xa0\x80\xf8\x88\x80\x80\x80");
    files.push_back({badUtf8, false});
    files.push_back({"<?xml version=\"1.0\"?>\r\n<UserData><" + std::string(100000, 'N') + "><![CDATA[x]]></" +
                         std::string(100000, 'N') + "></UserData>\r\n",
                     false});
    std::string deep = "<UserData>";
    for (int i = 0; i < 20000; ++i) deep += "<d>";
    files.push_back({deep, true});
    for (int i = 0; i < 20000; ++i) deep += "</d>";
    files.push_back({deep + "</UserData>", false});
    for (const std::string& disguised : mv::test::DeeplyNestedStoreFiles()) files.push_back({disguised, true});
    files.push_back({std::string("MZ\x90\0\x03\0\0\0", 8) + std::string(400, '\xcc'), true});
    files.push_back({"{\"UserData\": {\"volume\": 80}}", true});
    files.push_back({std::string("\xef\xbb\xbf"), true});
    files.push_back({std::string("\xff\xfe<\0U\0", 6), true});
    files.push_back({std::string(4096, '\0'), true});
    files.push_back({"<userdata></userdata>", true});
    return files;
}

TEST_F(HostileTest, EveryDamagedStoreFileEndsInAWorkingStoreAndIsKeptAside) {
    {
        const Progress seeded = RunStoreJob(L"seed");
        store_.Clear();
        ASSERT_TRUE(seeded.storeWorks) << "the store keeps no value even in memory";
    }
    long broken = 0, notKept = 0;
    std::string firstBroken, firstNotKept;
    for (const auto& [bytes, unusable] : DamagedFiles()) {
        store_.Clear();
        mv::test::WriteFileBytes(store_.path(), bytes);
        ++g_totals.files;
        const long crashesBefore = g_totals.crashes + g_totals.hangs;
        const Progress wrote = RunStoreJob(L"probe-write");
        const Progress read = RunStoreJob(L"probe-read");
        if (wrote.lost || read.lost) {
            if (!broken++) firstBroken = bytes.substr(0, 80);
        }
        if (g_totals.crashes + g_totals.hangs != crashesBefore)
            std::printf("hostile: the store failed on file %ld (%zu bytes, starting %s)\n", g_totals.files, bytes.size(),
                        ::testing::PrintToString(bytes.substr(0, 40)).c_str());
        const bool kept = mv::test::FileExists(store_.bad());
        if ((unusable && !kept) || (kept && mv::test::ReadFileBytes(store_.bad()) != bytes)) {
            if (!notKept++) firstNotKept = bytes.substr(0, 80);
        }
    }
    EXPECT_EQ(0, broken) << "first: " << ::testing::PrintToString(firstBroken);
    EXPECT_EQ(0, notKept) << "first: " << ::testing::PrintToString(firstNotKept);
    EXPECT_EQ(0, g_totals.crashes) << "first: " << ::testing::PrintToString(g_totals.firstCrash);
    EXPECT_EQ(0, g_totals.hangs) << "first: " << ::testing::PrintToString(g_totals.firstHang);
}

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* e) {
    ::TerminateProcess(::GetCurrentProcess(), e->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"--hostile-child") {
        // A crash must end the child at once with its code, not wait on a
        // debugger or a dialog.
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        ::SetUnhandledExceptionFilter(EndOnCrash);
        return mv::hostile::RunChild(argc - 2, argv + 2);
    }
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::printf("hostile: %ld calls, %ld crashes, %ld hangs, %ld values lost, %ld files tried\n", g_totals.calls,
                g_totals.crashes, g_totals.hangs, g_totals.lost, g_totals.files);
    return result;
}
