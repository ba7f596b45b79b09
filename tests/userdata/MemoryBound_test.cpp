// The store's memory over many rewrites of one key. This program counts the
// bytes that operator new holds, so it runs on its own.
#include "userdata/UserDataStore.h"

#include <malloc.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "StoreTestSupport.h"

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};
// When not negative: the number of allocations to let through before one fails.
std::atomic<long> failAfter{-1};

void* Allocate(size_t size) {
    if (failAfter >= 0 && failAfter-- == 0) throw std::bad_alloc();
    void* block = std::malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    const long long live = liveBytes += static_cast<long long>(_msize(block));
    for (long long peak = peakBytes; live > peak && !peakBytes.compare_exchange_weak(peak, live);) {
    }
    return block;
}

void Free(void* block) noexcept {
    if (!block) return;
    liveBytes -= static_cast<long long>(_msize(block));
    std::free(block);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, size_t) noexcept { Free(block); }
void operator delete[](void* block, size_t) noexcept { Free(block); }

namespace mv::userdata {
namespace {

TEST(StoreMemory, StaysBoundedOverManyRewritesOfOneKey) {
    test::ScopedTempDir dir(L"storemem");
    UserDataStore store(dir.path());
    store.WriteValue(L"volume", L"80");
    store.WriteValue(L"theme", L"dark");
    auto valueFor = [](int i) { return std::to_wstring(i) + std::wstring(1000, L'v'); };
    for (int i = 0; i < 100; ++i) store.WriteValue(L"page", valueFor(i).c_str());
    const long long baseline = liveBytes;

    // Unbounded, the pool would keep every old value: 10,000 x 2 KB.
    for (int i = 100; i < 10000; ++i) store.WriteValue(L"page", valueFor(i).c_str());
    EXPECT_LT(liveBytes - baseline, 1 << 20);
    EXPECT_EQ(valueFor(9999), store.ReadValue(L"page"));
    EXPECT_EQ(valueFor(9999), UserDataStore(dir.path()).ReadValue(L"page"));

    // Rebuilding the document does not change what it prints.
    store.WriteValue(L"page", L"x");
    const std::string bytes = test::ReadFileBytes(test::StoreFileIn(dir));
    EXPECT_EQ(0u, bytes.find("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<UserData>\r\n\t<volume>\r\n"
                             "\t\t<![CDATA[80]]>\r\n\t</volume>\r\n\t<theme>\r\n\t\t<![CDATA[dark]]>\r\n\t</theme>\r\n"
                             "\t<page>\r\n\t\t<![CDATA[x]]>\r\n\t</page>\r\n</UserData>\r\n"));
}

// Wherever an allocation fails during a replace, the value stays whole:
// the old one, or the new one once saved.
TEST(StoreMemory, AnAllocationFailingHalfWayLeavesTheValueWhole) {
    test::ScopedTempDir dir(L"storefail");
    UserDataStore store(dir.path());
    const std::wstring old = L"old value " + std::wstring(100, L'o');
    const std::wstring next = std::wstring(100, L'a') + L"]]>" + std::wstring(100, L'b') + L"]]>" + L"c";
    bool saved = false;
    for (long n = 0; !saved; ++n) {
        store.WriteValue(L"k", old.c_str());
        failAfter = n;
        store.WriteValue(L"k", next.c_str());
        saved = failAfter >= 0;
        failAfter = -1;
        // A failed write of the file may leave the new value in memory only.
        for (const std::wstring& now : {store.ReadValue(L"k"), UserDataStore(dir.path()).ReadValue(L"k")})
            ASSERT_TRUE(now == old || now == next) << "allocation " << n;
    }
}

TEST(StoreMemory, AValueLongerThanTheFileLimitIsRefusedUncopied) {
    test::ScopedTempDir dir(L"storehuge");
    UserDataStore store(dir.path());
    store.WriteValue(L"k", L"small");
    const std::wstring huge(10 << 20, L'h');  // 20 MB
    peakBytes = liveBytes.load();
    const long long before = liveBytes;
    store.WriteValue(L"k", huge.c_str());
    // Not even half a copy of it was made.
    EXPECT_LT(peakBytes - before, static_cast<long long>(huge.size()));
    EXPECT_EQ(L"small", store.ReadValue(L"k"));
}

}  // namespace
}  // namespace mv::userdata
