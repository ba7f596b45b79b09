#pragma once
// Helpers of the store's tests: the file's place in a sandbox folder, the
// bytes the store writes, and the second process (store_client).
#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "win/UniqueHandle.h"

namespace mv::test {

inline constexpr char kFreshStoreFile[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<UserData/>\r\n";

inline std::wstring StoreFileIn(const ScopedTempDir& dir) { return dir.Child(L"config\\UserData.xml"); }

std::string Utf8(const std::wstring& text);
std::string InCodePage(UINT codePage, const std::wstring& text);

// Starts store_client with `arguments` (quoted by the caller as needed).
bool StartStoreClient(const std::wstring& arguments, win::unique_process_information& process);
// Runs store_client to its end: its exit code, or a failure when it hangs.
DWORD RunStoreClient(const std::wstring& arguments);
// The value of `key` as a new process reads it from the store in `folder`.
std::wstring ReadInNewProcess(const std::wstring& folder, const std::wstring& key);

}  // namespace mv::test
