// The store shared by several processes: each sees the others' saves, none
// loses them, and a process killed while saving leaves a whole file.
#include "userdata/UserDataStore.h"

#include <gtest/gtest.h>

#include <string>

#include "StoreTestSupport.h"
#include "userdata/XmlFile.h"

namespace mv::userdata {
namespace {

using test::ScopedTempDir;

uint64_t SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(StoreProcesses, ValuesReadBackUnchangedInANewProcess) {
    ScopedTempDir dir(L"storeproc");
    const std::pair<std::wstring, std::wstring> values[] = {
        {L"markup", L"<b>&amp;\"'</b>"}, {L"astral", L"\U0001F600\U00020000"}, {L"lines", L"a\r\nb\nc\r"},
        {L"leading", L"  x"},           {L"empty", L""},                        {L"cdataEnd", L"a]]>b]]>"},
        {L"音量", L"八十"},
    };
    {
        UserDataStore store(dir.path());
        for (const auto& [key, value] : values) store.WriteValue(key.c_str(), value.c_str());
    }
    for (const auto& [key, value] : values) EXPECT_EQ(value, test::ReadInNewProcess(dir.path(), key));
}

TEST(StoreProcesses, TwoProcessesWritingAtOnceLoseNothing) {
    ScopedTempDir dir(L"storeproc");
    UserDataStore mine(dir.path());
    mine.WriteValue(L"own", L"kept");
    const std::wstring eventName = L"MvStoreTestGo" + std::to_wstring(::GetCurrentProcessId());
    win::unique_handle go(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(go);
    win::unique_process_information a, b;
    ASSERT_TRUE(test::StartStoreClient(L"write \"" + dir.path() + L"\" a 50 " + eventName, a));
    ASSERT_TRUE(test::StartStoreClient(L"write \"" + dir.path() + L"\" b 50 " + eventName, b));
    ::SetEvent(go.get());
    for (HANDLE process : {a.get().hProcess, b.get().hProcess}) {
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process, 120000));
        DWORD code = 1;
        ::GetExitCodeProcess(process, &code);
        EXPECT_EQ(0u, code);
    }
    // The store opened before them sees their saves, and its own save keeps them.
    mine.WriteValue(L"after", L"1");
    UserDataStore reloaded(dir.path());
    for (const wchar_t* prefix : {L"a", L"b"})
        for (int i = 0; i < 50; ++i) {
            const std::wstring key = prefix + std::to_wstring(i);
            EXPECT_EQ(L"value of " + key, mine.ReadValue(key.c_str()));
            EXPECT_EQ(L"value of " + key, reloaded.ReadValue(key.c_str()));
        }
    EXPECT_EQ(L"kept", reloaded.ReadValue(L"own"));
    EXPECT_EQ(L"1", reloaded.ReadValue(L"after"));
}

TEST(StoreProcesses, AWriterKilledWhileSavingLeavesAWholeFile) {
    ScopedTempDir dir(L"storekill");
    const std::wstring file = test::StoreFileIn(dir);
    constexpr size_t kUnits = 1 << 20;
    const std::wstring eventName = L"MvStoreTestReady" + std::to_wstring(::GetCurrentProcessId());
    for (int round = 0; round < 12; ++round) {
        win::unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
        win::unique_process_information writer;
        ASSERT_TRUE(test::StartStoreClient(
            L"hammer \"" + dir.path() + L"\" " + std::to_wstring(kUnits) + L" " + eventName, writer));
        HANDLE waits[] = {ready.get(), writer.get().hProcess};
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(2, waits, FALSE, 120000)) << "writer never saved";
        // Kill it the moment the file is seen shorter than a whole save, which
        // a save in place would show while it writes, or else at a different
        // point of a save each round.
        const uint64_t whole = SizeOf(file);
        for (int poll = 0; poll < 2000 + round * 700 && SizeOf(file) == whole; ++poll) {
        }
        ::TerminateProcess(writer.get().hProcess, 9);
        ::WaitForSingleObject(writer.get().hProcess, 60000);

        XmlFile loaded;
        ASSERT_TRUE(loaded.LoadFile(file.c_str())) << "round " << round;
        UserDataStore store(dir.path());
        const std::wstring value = store.ReadValue(L"big");
        ASSERT_EQ(kUnits, value.size()) << "round " << round;
        EXPECT_EQ(std::wstring::npos, value.find_first_not_of(value.front())) << "round " << round;
        EXPECT_FALSE(test::FileExists(file + L".bad")) << "round " << round;
    }
    // What killed writers left half written is cleared away by the next store.
    WIN32_FIND_DATAW found{};
    EXPECT_FALSE(win::unique_find_handle(::FindFirstFileW(dir.Child(L"config\\*.tmp").c_str(), &found)));
}

// Reads are answered from memory while no process has saved: another
// process's save must still be seen by the very next read.
TEST(StoreProcesses, AnotherProcesssSaveIsSeenByTheNextRead) {
    for (const int reads : {0, 10000}) {
        ScopedTempDir dir(L"storefresh");
        UserDataStore store(dir.path());
        store.WriteValue(L"p0", L"mine");
        for (int i = 0; i < reads; ++i) store.ReadValue(L"p0");
        EXPECT_EQ(0u, test::RunStoreClient(L"write \"" + dir.path() + L"\" p 1"));
        EXPECT_EQ(L"value of p0", store.ReadValue(L"p0")) << reads << " reads before";
    }
}

// The parser recurses once per element: these files would overflow the
// stack of a process that parsed them.
TEST(StoreProcesses, DeeplyNestedFilesAreKeptAsideWithoutACrash) {
    for (const std::string& bytes : test::DeeplyNestedStoreFiles()) {
        ScopedTempDir dir(L"storedeep");
        const std::wstring file = test::StoreFileIn(dir);
        test::MakeDirs(dir.Child(L"config"));
        test::WriteFileBytes(file, bytes);
        EXPECT_EQ(L"", test::ReadInNewProcess(dir.path(), L"d")) << bytes.substr(0, 30);
        EXPECT_EQ(bytes, test::ReadFileBytes(file + L".bad")) << bytes.substr(0, 30);
        EXPECT_EQ(test::kFreshStoreFile, test::ReadFileBytes(file));
    }
}

// A backup program holds the file, letting others read it, for longer than
// a save waits. What this process could not save is saved with its next
// save, after another process has saved; a key that process changed
// meanwhile keeps its newer value.
TEST(StoreProcesses, AValueSetWhileTheFileIsHeldIsSavedWithTheNextSave) {
    ScopedTempDir dir(L"storeheld");
    const std::wstring file = test::StoreFileIn(dir);
    UserDataStore store(dir.path());
    store.WriteValue(L"p0", L"before");
    win::unique_file held(
        ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    store.WriteValue(L"kept", L"mine");
    store.WriteValue(L"p0", L"mine");
    EXPECT_EQ(std::string::npos, test::ReadFileBytes(file).find("mine")) << "saved over a held file";
    win::unique_process_information other;
    ASSERT_TRUE(test::StartStoreClient(L"write \"" + dir.path() + L"\" p 1", other));
    // The other process may meet the held file and wait it out, or start
    // later and save at once.
    ::Sleep(500);
    held.reset();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(other.get().hProcess, 120000));
    DWORD code = 1;
    ::GetExitCodeProcess(other.get().hProcess, &code);
    ASSERT_EQ(0u, code);
    EXPECT_NE(std::string::npos, test::ReadFileBytes(file).find("value of p0")) << "the other process lost its save";

    store.WriteValue(L"next", L"1");
    UserDataStore reloaded(dir.path());
    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"kept", L"mine"}, {L"p0", L"value of p0"}, {L"next", L"1"}};
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(value, reloaded.ReadValue(key)) << test::Utf8(key);
        EXPECT_EQ(value, store.ReadValue(key)) << test::Utf8(key);
    }
}

// A write that waited out its bound is kept, as one that could not be
// saved, and saved with the next save: also by a store that never read the
// file, whose value then stands over the file's.
TEST(StoreProcesses, ALockHeldByAHungProcessDelaysWritesAndLosesNone) {
    ScopedTempDir dir(L"storehung");
    const std::wstring file = test::StoreFileIn(dir);
    UserDataStore store(dir.path());
    store.WriteValue(L"k", L"old");
    store.WriteValue(L"other", L"old");
    const std::string before = test::ReadFileBytes(file);
    const std::wstring eventName = L"MvStoreTestHeld" + std::to_wstring(::GetCurrentProcessId());
    win::unique_handle held(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    win::unique_process_information holder;
    ASSERT_TRUE(test::StartStoreClient(L"hold \"" + dir.path() + L"\" " + eventName, holder));
    HANDLE waits[] = {held.get(), holder.get().hProcess};
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(2, waits, FALSE, 120000)) << "the lock was not taken";

    // Each call gives up after its wait: nothing is read or written without
    // the lock, and what this process has is served.
    store.WriteValue(L"k", L"new");
    UserDataStore opened(dir.path());
    opened.WriteValue(L"other", L"x");
    EXPECT_EQ(L"new", store.ReadValue(L"k"));
    EXPECT_EQ(before, test::ReadFileBytes(file));
    WIN32_FIND_DATAW found{};
    EXPECT_FALSE(win::unique_find_handle(::FindFirstFileW(dir.Child(L"config\\*.tmp").c_str(), &found)));

    ::TerminateProcess(holder.get().hProcess, 9);
    ::WaitForSingleObject(holder.get().hProcess, 60000);
    store.WriteValue(L"next", L"1");
    EXPECT_EQ(L"1", opened.ReadValue(L"next")) << "the file was not read once the lock was free";
    UserDataStore reloaded(dir.path());
    EXPECT_EQ(L"new", reloaded.ReadValue(L"k"));
    EXPECT_EQ(L"x", reloaded.ReadValue(L"other"));
}

}  // namespace
}  // namespace mv::userdata
