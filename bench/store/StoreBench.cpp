// SetValue and GetValue on stores of 10, 1,000 and 10,000 keys with 32-byte
// values, against the same bytes written (or read) by hand with the same
// temporary file, flush and one-step replace.
#include <windows.h>

#include <cstdio>
#include <string>

#include "userdata/UserDataStore.h"

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

std::wstring Key(int i) {
    wchar_t key[16];
    swprintf(key, 16, L"key%05d", i);
    return key;
}

// 32 ASCII characters, different for each round.
std::wstring Value(int i, int round) {
    wchar_t value[40];
    swprintf(value, 40, L"%08d-%08d-value-0123456789", i, round);
    return std::wstring(value, 32);
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
std::string FileWith(int keys) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<UserData>\r\n";
    for (int i = 0; i < keys; ++i) {
        const std::string key = mv::userdata::WideToUtf8(Key(i).c_str(), -1);
        text += "\t<" + key + ">\r\n\t\t<![CDATA[" + mv::userdata::WideToUtf8(Value(i, 0).c_str(), -1) + "]]>\r\n\t</" +
                key + ">\r\n";
    }
    return text + "</UserData>\r\n";
}

void Run(const std::wstring& base, int keys, int writes, int reads) {
    const std::wstring folder = base + L"\\n" + std::to_wstring(keys);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\config").c_str(), nullptr);
    const std::wstring path = folder + L"\\config\\UserData.xml";
    WriteRaw(path, FileWith(keys));
    UserDataStore store(folder);

    double start = Now();
    for (int w = 0; w < writes; ++w) {
        const int i = static_cast<int>((w * 7919LL) % keys);
        store.WriteValue(Key(i).c_str(), Value(i, w + 1).c_str());
    }
    const double set = (Now() - start) / writes;

    const std::string bytes = ReadRaw(path);
    start = Now();
    for (int w = 0; w < writes; ++w) WriteRaw(path, bytes);
    const double rawWrite = (Now() - start) / writes;

    size_t checksum = 0;
    start = Now();
    for (int r = 0; r < reads; ++r) checksum += store.ReadValue(Key(static_cast<int>((r * 104729LL) % keys)).c_str()).size();
    const double get = (Now() - start) / reads;

    start = Now();
    for (int r = 0; r < reads / 10; ++r) checksum += ReadRaw(path).size();
    const double rawRead = (Now() - start) / (reads / 10);

    std::printf("%6d keys %8zu bytes | SetValue %9.1f us  by hand %9.1f us  ratio %5.2f (%d writes) | "
                "GetValue %8.1f us  file read by hand %8.1f us  ratio %5.2f (%d reads)%s\n",
                keys, bytes.size(), set * 1e6, rawWrite * 1e6, set / rawWrite, writes, get * 1e6, rawRead * 1e6,
                get / rawRead, reads, checksum ? "" : " (no values read)");
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

int main() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"store_bench_" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(base.c_str(), nullptr);
    Run(base, 10, 2000, 20000);
    Run(base, 1000, 1000, 20000);
    // Each write rewrites about 0.6 MB here: a sample of writes at this size.
    Run(base, 10000, 200, 20000);
    RemoveTree(base);
    return 0;
}
