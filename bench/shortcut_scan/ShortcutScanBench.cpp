// The desktop scan against the platform's own link reading of the same files.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

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

template <typename F>
double MicrosecondsPerRun(int runs, F&& body) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) body();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::micro>(elapsed).count() / runs;
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring desktop = Desktop();
    const std::wstring client = L"C:\\Program Files\\Mivo\\MVPlayer.exe";
    const std::wstring other = L"C:\\Program Files\\Other\\Other.exe";
    std::printf("%8s %8s %14s %14s %7s\n", "entries", "match", "scan us", "bare us", "ratio");
    for (int count : {10, 100, 1000}) {
        for (bool present : {true, false}) {
            std::vector<std::wstring> files;
            std::vector<std::wstring> shortcuts;  // every entry, in listing order
            for (int i = 0; i < count; ++i) {
                wchar_t name[64];
                std::swprintf(name, 64, L"mvbench-%04d.lnk", i);
                const std::wstring path = desktop + L"\\" + name;
                const bool ours = i % 10 == 9;
                // The playlist searched for is 1: only the last client shortcut may carry it.
                const long id = (ours && i == count - 1 && present) ? 1 : 1000 + i;
                Save(path, ours ? client : other, L"\\UrlQuickLunch=x," + std::to_wstring(id));
                files.push_back(path);
            }
            const int runs = count >= 1000 ? 5 : 50;
            bool found = false;
            const double scan = MicrosecondsPerRun(runs, [&] {
                found = mv::shortcuts::FindPlaylistShortcut(1, client, mv::shortcuts::UrlQuickLunch);
            });
            const double bare = MicrosecondsPerRun(runs, [&] { BareLoop(files); });
            std::printf("%8d %8s %14.0f %14.0f %7.2f%s\n", count, present ? "last" : "absent", scan, bare,
                        scan / bare, found == present ? "" : "  (wrong answer!)");
            for (const auto& file : files) ::DeleteFileW(file.c_str());
        }
    }
    ::CoUninitialize();
    return 0;
}
