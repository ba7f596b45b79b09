#include "TestSupport.h"

#include <objbase.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace mv::test {

namespace {

std::wstring Widen(const char* text) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) ::MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
    return out;
}

}  // namespace

std::wstring BuildDir() {
    std::wstring path = L"Z:" + Widen(MV_BINARY_DIR);
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring ControlDllPath() { return BuildDir() + L"\\" + kControlFile; }
std::wstring BridgeExePath() { return BuildDir() + L"\\" + kBridgeFile; }

std::wstring ExeDir() {
    wchar_t buffer[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer);
    return path.substr(0, path.find_last_of(L'\\'));
}

ComApartment::ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
ComApartment::~ComApartment() { ::CoUninitialize(); }

void DeleteRegistryTree(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    ::RegDeleteTreeW(key, nullptr);
    ::RegCloseKey(key);
    ::RegDeleteKeyExW(root, path.c_str(), view, 0);
}

ScopedRegistryKey::ScopedRegistryKey(HKEY root, std::wstring path, REGSAM view)
    : root_(root), path_(std::move(path)), view_(view) {
    DeleteRegistryTree(root_, path_, view_);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr,
                                               &key, nullptr));
    if (key) ::RegCloseKey(key);
}

ScopedRegistryKey::~ScopedRegistryKey() { DeleteRegistryTree(root_, path_, view_); }

void ScopedRegistryKey::SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) const {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_SET_VALUE | view_, &key));
    if (!key) return;
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes));
    ::RegCloseKey(key);
}

void ScopedRegistryKey::SetString(const wchar_t* name, const std::wstring& value) const {
    SetRaw(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void ScopedRegistryKey::SetDword(const wchar_t* name, DWORD value) const {
    SetRaw(name, REG_DWORD, &value, sizeof(value));
}

void ScopedRegistryKey::DeleteValue(const wchar_t* name) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(key, name);
    ::RegCloseKey(key);
}

ScopedTempDir::ScopedTempDir(const std::wstring& hint) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring base(temp);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    path_ = base + L"\\" + hint + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter++);
    RemoveTree(path_);
    MakeDirs(path_);
}

ScopedTempDir::~ScopedTempDir() { RemoveTree(path_); }

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write a test file";
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(path.c_str());
}

void WaitForTickCountToPass(unsigned long long ms) {
    const ULONGLONG start = ::GetTickCount64();
    while (::GetTickCount64() - start <= ms) ::Sleep(20);
}

void MakeDirs(const std::wstring& path) {
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
        ::CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
    ::CreateDirectoryW(path.c_str(), nullptr);
}

std::vector<std::string> DeeplyNestedStoreFiles() {
    auto times = [](const std::string& unit) {
        std::string s;
        for (int i = 0; i < 20000; ++i) s += unit;
        return s;
    };
    const std::string nested = times("<d>") + times("</d>") + "</UserData>\r\n";
    return {"<UserData>" + times("/>") + nested,
            "<UserData a=\"" + times("/>") + "\">" + nested,
            "<?xml version=\"" + times("?></d>") + "\"?>\r\n<UserData>" + nested,
            "<!DOCTYPE UserData [" + times("></d>") + "]>\r\n<UserData>" + nested,
            "<UserData><!--" + times("/></d>") + "-->" + nested,
            "<UserData><![CDATA[" + times("/></d>") + "]]>" + nested};
}

}  // namespace mv::test
