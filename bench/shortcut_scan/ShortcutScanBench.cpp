// The desktop scan against the platform's own link reading of the same files:
// a first scan (every file changed since the last one) and a repeated scan of
// the unchanged desktop. Times are medians over an even number of rounds, in
// which the bare loop and the scans take turns at going first.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "shortcuts/ShortcutScanner.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring Desktop() {
    wchar_t path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOP, TRUE);
    return path;
}

void Save(const std::wstring& file, const std::wstring& target, const std::wstring& arguments) {
    ComPtr<IShellLinkW> link;
    ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                       reinterpret_cast<void**>(link.GetAddressOf()));
    link->SetPath(target.c_str());
    link->SetArguments(arguments.c_str());
    ComPtr<IPersistFile> persist;
    link.As(&persist);
    persist->Save(file.c_str(), TRUE);
}

// What any reader of these shortcuts must do at least: load each and read
// its target and arguments.
int BareLoop(const std::vector<std::wstring>& files) {
    ComPtr<IShellLinkW> link;
    ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                       reinterpret_cast<void**>(link.GetAddressOf()));
    ComPtr<IPersistFile> persist;
    link.As(&persist);
    int read = 0;
    for (const auto& file : files) {
        wchar_t target[MAX_PATH] = {}, arguments[MAX_PATH] = {};
        persist->Load(file.c_str(), STGM_READ);
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetArguments(arguments, MAX_PATH);
        read += arguments[0] != 0;
    }
    return read;
}

// Gives every file the same new last-write time, old enough to count as
// settled: whatever a scan kept of them no longer applies.
void Touch(const std::vector<std::wstring>& files, const FILETIME& written) {
    for (const auto& file : files) {
        HANDLE handle = ::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
        ::SetFileTime(handle, nullptr, nullptr, &written);
        ::CloseHandle(handle);
    }
}

FILETIME AnHourAgoPlus(int seconds) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
    ticks.QuadPart -= 3600ull * 10'000'000;
    ticks.QuadPart += static_cast<unsigned long long>(seconds) * 10'000'000;
    return FILETIME{ticks.LowPart, ticks.HighPart};
}

// What a scan does beyond the bare loop: ask the shell for the desktop, and
// list it.
int ListDesktop() {
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((Desktop() + L"\\*.*").c_str(), &entry);
    int listed = 0;
    while (::FindNextFileW(find, &entry)) ++listed;
    ::FindClose(find);
    return listed;
}

template <typename F>
double Microseconds(F&& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::micro>(elapsed).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring desktop = Desktop();
    const std::wstring client = L"C:\\Program Files\\Mivo\\MVPlayer.exe";
    const std::wstring other = L"C:\\Program Files\\Other\\Other.exe";
    std::printf("%7s %6s %6s %11s %11s %11s %9s %10s %14s\n", "entries", "match", "rounds", "first us", "repeat us",
                "bare us", "find us", "first/bare", "repeat/first");
    for (int count : {10, 100, 1000}) {
        for (bool present : {true, false}) {
            std::vector<std::wstring> files;
            std::vector<std::wstring> ours;
            for (int i = 0; i < count; ++i) {
                wchar_t name[64];
                std::swprintf(name, 64, L"mvbench-%04d.lnk", i);
                const std::wstring path = desktop + L"\\" + name;
                const bool client_shortcut = i % 10 == 9;
                Save(path, client_shortcut ? client : other, L"\\UrlQuickLunch=x," + std::to_wstring(1000 + i));
                files.push_back(path);
                if (client_shortcut) ours.push_back(name);
            }
            if (present) {
                // The file system decides the listing order: give the playlist
                // searched for (1) to the client shortcut listed last.
                std::wstring last;
                WIN32_FIND_DATAW entry;
                HANDLE find = ::FindFirstFileW((desktop + L"\\*.*").c_str(), &entry);
                do {
                    for (const auto& name : ours)
                        if (name == entry.cFileName) last = name;
                } while (::FindNextFileW(find, &entry));
                ::FindClose(find);
                Save(desktop + L"\\" + last, client, L"\\UrlQuickLunch=x,1");
            }
            // A desktop whose names changed in the last 3 s is opened anew
            // at each scan (about 0.15 ms under Wine); one left alone since
            // is the usual case.
            ::Sleep(3100);
            const int rounds = count >= 1000 ? 8 : count >= 100 ? 16 : 64;
            std::vector<double> first, repeated, bare, finding;
            bool right = true;
            const auto scan = [&] {
                right &= mv::shortcuts::FindPlaylistShortcut(1, client, mv::shortcuts::UrlQuickLunch) == present;
            };
            for (int round = 0; round < rounds; ++round) {
                Touch(files, AnHourAgoPlus(round));
                BareLoop(files);  // whatever the new times disturbed weighs on no side
                // Alternate the order, so that neither side always runs on
                // what the other left warm.
                if (round % 2) bare.push_back(Microseconds([&] { BareLoop(files); }));
                first.push_back(Microseconds(scan));
                repeated.push_back(Microseconds(scan));
                if (!(round % 2)) bare.push_back(Microseconds([&] { BareLoop(files); }));
                finding.push_back(Microseconds([&] { ListDesktop(); }));
            }
            std::printf("%7d %6s %6d %11.0f %11.0f %11.0f %9.0f %10.2f %14.3f%s\n", count,
                        present ? "last" : "absent", rounds, Median(first), Median(repeated), Median(bare),
                        Median(finding), Median(first) / Median(bare), Median(repeated) / Median(first),
                        right ? "" : "  (wrong answer!)");
            for (const auto& file : files) ::DeleteFileW(file.c_str());
        }
    }
    ::CoUninitialize();
    return 0;
}
