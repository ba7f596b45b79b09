#pragma once
// The child side of the hostile-caller run: batches of script calls, and the
// store jobs, each run in a process of its own so that a crash or a hang is
// counted by the parent instead of ending the run.
#include <windows.h>

#include <string>

namespace mv::hostile {

// Shared with the parent through a named mapping: the child announces each
// call before making it, so the parent knows which call hung or crashed.
struct Progress {
    volatile LONG started;    // calls begun (index of the running call + 1)
    volatile LONG done;       // calls returned
    volatile LONG forbidden;  // calls that returned an HRESULT they may not
    volatile LONG lost;       // store jobs: values not read back
    volatile LONG storeWorks; // seed job: 1 when a value written reads back in memory
    wchar_t firstForbidden[256];
};

// The eighteen script methods, in DISPID order.
inline constexpr const wchar_t* kMethods[] = {
    L"IsMiVoVAReady",    L"StartMiVoVA",         L"IsInstalled",       L"IsSupportDownload", L"DownLoad",
    L"ShowDetailPage",   L"GetMivoVAVersion",    L"OnlinePlay",        L"RunMivoPlayer",     L"GetFirstInstallTime",
    L"GetUserId",        L"IsShortcutCreated",   L"GetValue",          L"SetValue",          L"IsShortcutCreatedEx",
    L"GetChannelNum",    L"IsEnableCreateShortcut", L"GetInstallTime"};
inline constexpr int kMethodCount = 18;

// Values stored before the calls and looked for after them.
inline constexpr int kSeedCount = 6;
std::wstring SeedKey(int i);
std::wstring SeedValue(int i);

// Exit code of a child that finished its batch.
inline constexpr DWORD kChildFinished = 0;

// Runs `argv` (after "--hostile-child") and returns the process exit code.
int RunChild(int argc, wchar_t** argv);

}  // namespace mv::hostile
