#pragma once
// What the link object yielded for each shortcut file of the desktop, kept
// between scans so that a file the listing shows unchanged is not loaded again.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mv::shortcuts {

// One load of a shortcut file: its raw target and its arguments, each as cut
// to the scan's buffers. The arguments are read only for a target that passed
// the client test, so they may be missing.
struct ShortcutFacts {
    std::wstring target;
    std::wstring arguments;
    bool hasArguments = false;
};

// Facts of the shortcut files of one folder, each filed under what the folder
// listing reports of its file: name, size, last-write and creation time. A file
// written again reports a later last-write time, so it is loaded again. Facts,
// not answers, are kept: they serve any client path, playlist and source.
// Shared by every thread of the process.
//
// Limit: a rewrite that keeps the size and puts back the old last-write time
// (a program setting the time itself, or a copy over the file of another one
// with the same size and times) goes unseen until the file changes again.
class ShortcutFactCache {
public:
    // About this much memory is spent on facts; files beyond it are loaded
    // on every scan, as if nothing were kept.
    static constexpr size_t kMaxBytes = size_t{1} << 20;
    // A file written again within one tick of its file system's clock keeps
    // its last-write time (a FAT tick is 2 s). Facts of a file written that
    // recently are not kept: the scan loads it until it is older.
    static constexpr uint64_t kSettleTicks = 3 * 10'000'000ull;  // 3 s in 100 ns units

    // One scan of a folder. Starting a scan of another folder forgets the
    // facts of the previous one.
    struct Scan {
        uint64_t folder;
        uint64_t generation;
        uint64_t settledBefore;  // last-write times before this are settled
    };
    Scan BeginScan(const std::wstring& folder);

    // Copies into `facts` what is kept for the listed `entry`, if anything is
    // kept for exactly this name, size and times.
    bool Recall(const Scan& scan, const WIN32_FIND_DATAW& entry, ShortcutFacts& facts);
    // Keeps the facts of a file whose load succeeded (a failed load leaves the
    // link object with another file's facts). Keeping is optional: no failure.
    void Remember(const Scan& scan, const WIN32_FIND_DATAW& entry, const ShortcutFacts& facts) noexcept;
    // After a scan that went through the whole listing: forgets the files it
    // no longer holds.
    void EndCompleteScan(const Scan& scan);

    size_t size() const;

private:
    struct Kept {
        uint64_t size;
        uint64_t written;
        uint64_t created;
        ShortcutFacts facts;
        uint64_t lastSeen;  // generation of the latest scan that listed the file
        size_t bytes;
    };
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::wstring_view name) const noexcept { return std::hash<std::wstring_view>{}(name); }
    };

    using KeptFiles = std::unordered_map<std::wstring, Kept, NameHash, std::equal_to<>>;
    void Forget(KeptFiles::iterator kept);

    mutable std::mutex lock_;
    std::wstring folderPath_;
    uint64_t folder_ = 0;
    uint64_t generation_ = 0;
    size_t bytes_ = 0;
    KeptFiles kept_;
};

}  // namespace mv::shortcuts
