// SetValue and GetValue on stores of 10, 1,000 and 10,000 keys with 32-unit
// values, and of 10,000 keys with 1,000-unit values (a file just under the
// 10 MiB limit). Writes are set against the same bytes written by hand with
// the same temporary file, flush and one-step replace; reads against a
// lookup in a plain in-memory map that returns a copy of the value, as
// GetValue does. Then GetValue through the control, loaded from a copy of
// its DLL (the build's, or the one named on the command line) beside a
// mivo.cfg that locks it to the page it is shown, and beside none. Each
// figure is a median, in one run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "../BuildDir.h"
#include "bridge/LoadedControl.h"
#include "ProductNames.h"
#include "shortcuts/SpecialFolders.h"
#include "userdata/UserDataStore.h"
#include "win/ScopedBstr.h"

namespace {

using mv::userdata::UserDataStore;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::wstring Key(int i) {
    wchar_t key[16];
    swprintf(key, 16, L"key%05d", i);
    return key;
}

// `units` ASCII characters, different for each key and round.
std::wstring Value(int i, int round, size_t units) {
    wchar_t head[40];
    swprintf(head, 40, L"%08d-%08d-value-", i, round);
    std::wstring value(head);
    while (value.size() < units) value += L"0123456789";
    value.resize(units);
    return value;
}

bool WriteRaw(const std::wstring& path, const std::string& bytes) {
    const std::wstring temp = path + L".tmp";
    HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    ::FlushFileBuffers(file);
    ::CloseHandle(file);
    return ok && ::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

std::string ReadRaw(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes(::GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    ::CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

// The file the store would write for `keys` entries, made directly: filling
// 10,000 keys through SetValue would rewrite a growing file 10,000 times.
std::string FileWith(int keys, size_t units) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<UserData>\r\n";
    for (int i = 0; i < keys; ++i) {
        const std::string key = mv::userdata::WideToUtf8(Key(i).c_str(), -1);
        text += "\t<" + key + ">\r\n\t\t<![CDATA[" + mv::userdata::WideToUtf8(Value(i, 0, units).c_str(), -1) +
                "]]>\r\n\t</" + key + ">\r\n";
    }
    return text + "</UserData>\r\n";
}

struct Case {
    const char* name;
    int keys;
    size_t units;
    int writes;
};

void Run(const std::wstring& base, const Case& c) {
    const std::wstring folder = base + L"\\n" + std::to_wstring(c.keys) + L"_" + std::to_wstring(c.units);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\config").c_str(), nullptr);
    const std::wstring path = folder + L"\\config\\UserData.xml";
    WriteRaw(path, FileWith(c.keys, c.units));
    UserDataStore store(folder);

    // Writes, each timed alone: a store write against the same bytes by hand,
    // into another file of the folder so that the store's own is not changed
    // under it (that would make it reload).
    const std::wstring hand = folder + L"\\config\\Hand.xml";
    std::vector<double> set, raw;
    for (int w = 0; w < c.writes; ++w) {
        const int i = static_cast<int>((w * 7919LL) % c.keys);
        const std::wstring value = Value(i, w + 1, c.units);
        double start = Now();
        store.WriteValue(Key(i).c_str(), value.c_str());
        set.push_back(Now() - start);
        const std::string bytes = ReadRaw(path);
        start = Now();
        WriteRaw(hand, bytes);
        raw.push_back(Now() - start);
    }
    const size_t fileBytes = ReadRaw(path).size();

    // Reads in batches of 100 keys; the same keys through a plain map.
    std::unordered_map<std::wstring, std::wstring> map;
    for (int i = 0; i < c.keys; ++i) map.emplace(Key(i), store.ReadValue(Key(i).c_str()));
    std::vector<std::wstring> keys;
    for (int r = 0; r < 100; ++r) keys.push_back(Key(static_cast<int>((r * 104729LL) % c.keys)));
    std::vector<double> get, lookup;
    size_t checksum = 0;
    for (int batch = 0; batch < 200; ++batch) {
        double start = Now();
        for (const std::wstring& key : keys) checksum += store.ReadValue(key.c_str()).size();
        get.push_back((Now() - start) / keys.size());
        start = Now();
        for (const std::wstring& key : keys) {
            const auto found = map.find(key);
            checksum += found == map.end() ? 0 : std::wstring(found->second).size();
        }
        lookup.push_back((Now() - start) / keys.size());
    }

    const double s = Median(set), w = Median(raw), g = Median(get), m = Median(lookup);
    std::printf("%-26s %6d keys %9zu bytes | SetValue %9.1f us  by hand %9.1f us  ratio %5.2f (%d writes) | "
                "GetValue %7.2f us  map %6.2f us  ratio %6.1f%s\n",
                c.name, c.keys, fileBytes, s * 1e6, w * 1e6, s / w, c.writes, g * 1e6, m * 1e6, g / m,
                checksum ? "" : " (no values read)");
}

// Microseconds per GetValue of the process's own store, through a control
// made afresh from `dll` (so that its store reads the file anew), shown
// https://example.com.
double ControlGetValue(const std::wstring& dll, const std::vector<std::wstring>& keys) {
    mv::bridge::LoadedControl control;
    std::string why;
    if (FAILED(control.Load(dll, why))) {
        std::fprintf(stderr, "cannot load %ls: %s\n", dll.c_str(), why.c_str());
        return 0;
    }
    control.ShowPage(L"https://example.com");
    std::vector<double> get;
    size_t checksum = 0;
    for (int batch = 0; batch < 200; ++batch) {
        const double start = Now();
        for (const std::wstring& key : keys) {
            mv::win::ScopedBstr name(key), value;
            control.get()->GetValue(name.Get(), value.Receive());
            checksum += value.Length();
        }
        get.push_back((Now() - start) / keys.size());
    }
    return checksum ? Median(get) * 1e6 : 0;
}

void RunThroughControl(const std::wstring& base, const std::wstring& builtDll) {
    const std::wstring folder = base + L"\\control";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring dll = folder + L"\\" MV_CONTROL_FILE_NAME;
    if (!::CopyFileW(builtDll.c_str(), dll.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy %ls\n", builtDll.c_str());
        return;
    }
    const std::wstring config = folder + L"\\mivo.cfg";
    const std::wstring data = mv::shortcuts::GetProductDataFolder();
    ::CreateDirectoryW((data + L"\\config").c_str(), nullptr);
    const std::wstring store = data + L"\\config\\UserData.xml";
    for (const int keys : {10, 1000, 10000}) {
        WriteRaw(store, FileWith(keys, 32));
        std::vector<std::wstring> names;
        for (int r = 0; r < 100; ++r) names.push_back(Key(static_cast<int>((r * 104729LL) % keys)));
        WriteRaw(config, "[sitelock]\r\nhttps://example.com\r\n");
        const double locked = ControlGetValue(dll, names);
        ::DeleteFileW(config.c_str());
        const double open = ControlGetValue(dll, names);
        std::printf("GetValue through the control %6d keys | locked, page allowed %7.2f us | no mivo.cfg %7.2f us\n",
                    keys, locked, open);
    }
    ::DeleteFileW(store.c_str());
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileW(child.c_str());
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(path.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"store_bench_" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(base.c_str(), nullptr);
    const Case cases[] = {
        {"10 keys", 10, 32, 400},
        {"1,000 keys", 1000, 32, 200},
        {"10,000 keys", 10000, 32, 60},
        {"10,000 keys, near 10 MiB", 10000, 1000, 15},
    };
    for (const Case& c : cases) Run(base, c);
    RunThroughControl(base, argc > 1 ? argv[1] : mv::bench::BuildDir() + L"\\" MV_CONTROL_FILE_NAME);
    RemoveTree(base);
    ::CoUninitialize();
    return 0;
}
