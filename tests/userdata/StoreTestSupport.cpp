#include "StoreTestSupport.h"

#include <gtest/gtest.h>

namespace mv::test {

std::string InCodePage(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Utf8(const std::wstring& text) { return InCodePage(CP_UTF8, text); }

namespace {

std::wstring StoreClientPath() {
    std::wstring path = L"Z:";
    for (const char* p = MV_STORE_CLIENT; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path;
}

}  // namespace

bool StartStoreClient(const std::wstring& arguments, win::unique_process_information& process) {
    std::wstring command = L"\"" + StoreClientPath() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    const bool started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                          &startup, process.put());
    EXPECT_TRUE(started) << "cannot start store_client";
    return started;
}

DWORD RunStoreClient(const std::wstring& arguments) {
    win::unique_process_information process;
    if (!StartStoreClient(arguments, process)) return static_cast<DWORD>(-1);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get().hProcess, 120000)) << "store_client hangs";
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process.get().hProcess, &code);
    return code;
}

std::wstring ReadInNewProcess(const std::wstring& folder, const std::wstring& key) {
    ScopedTempDir out(L"storeget");
    const std::wstring file = out.Child(L"value.bin");
    EXPECT_EQ(0u, RunStoreClient(L"get \"" + folder + L"\" \"" + key + L"\" \"" + file + L"\""));
    const std::string bytes = ReadFileBytes(file);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

}  // namespace mv::test
