#include "shortcuts/ShortcutFactCache.h"

namespace mv::shortcuts {

namespace {

uint64_t Ticks(const FILETIME& time) noexcept {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

uint64_t SizeOf(const WIN32_FIND_DATAW& entry) noexcept {
    return (uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow;
}

}  // namespace

ShortcutFactCache::Scan ShortcutFactCache::BeginScan(const std::wstring& folder) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = Ticks(now);
    std::lock_guard<std::mutex> guard(lock_);
    if (folder_ == 0 || folder != folderPath_) {
        kept_.clear();
        bytes_ = 0;
        folderPath_ = folder;
        ++folder_;
    }
    return Scan{folder_, ++generation_, ticks > kSettleTicks ? ticks - kSettleTicks : 0};
}

bool ShortcutFactCache::Recall(const Scan& scan, const WIN32_FIND_DATAW& entry, ShortcutFacts& facts) {
    std::lock_guard<std::mutex> guard(lock_);
    if (scan.folder != folder_) return false;
    const auto kept = kept_.find(std::wstring_view(entry.cFileName));
    if (kept == kept_.end()) return false;
    Kept& file = kept->second;
    if (file.size != SizeOf(entry) || file.written != Ticks(entry.ftLastWriteTime) ||
        file.created != Ticks(entry.ftCreationTime)) {
        Forget(kept);
        return false;
    }
    if (file.lastSeen < scan.generation) file.lastSeen = scan.generation;
    facts.target.assign(file.facts.target);
    facts.arguments.assign(file.facts.arguments);
    facts.hasArguments = file.facts.hasArguments;
    return true;
}

void ShortcutFactCache::Remember(const Scan& scan, const WIN32_FIND_DATAW& entry,
                                 const ShortcutFacts& facts) noexcept {
    const uint64_t written = Ticks(entry.ftLastWriteTime);
    if (written >= scan.settledBefore) return;
    const std::wstring_view name(entry.cFileName);
    const size_t bytes = sizeof(KeptFiles::value_type) + 2 * sizeof(void*) +
                         sizeof(wchar_t) * (name.size() + facts.target.size() + facts.arguments.size());
    std::lock_guard<std::mutex> guard(lock_);
    if (scan.folder != folder_) return;
    if (const auto old = kept_.find(name); old != kept_.end()) Forget(old);
    if (bytes_ + bytes > kMaxBytes) return;
    try {
        kept_.emplace(std::wstring(name),
                      Kept{SizeOf(entry), written, Ticks(entry.ftCreationTime), facts, scan.generation, bytes});
        bytes_ += bytes;
    } catch (...) {
        // Nothing kept: the file is loaded again next time.
    }
}

void ShortcutFactCache::EndCompleteScan(const Scan& scan) {
    std::lock_guard<std::mutex> guard(lock_);
    if (scan.folder != folder_) return;
    // A later scan running at the same time marks what it listed with a higher
    // generation, so its files stay.
    for (auto kept = kept_.begin(); kept != kept_.end();) {
        if (kept->second.lastSeen < scan.generation) {
            bytes_ -= kept->second.bytes;
            kept = kept_.erase(kept);
        } else {
            ++kept;
        }
    }
}

size_t ShortcutFactCache::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return kept_.size();
}

void ShortcutFactCache::Forget(KeptFiles::iterator kept) {
    bytes_ -= kept->second.bytes;
    kept_.erase(kept);
}

}  // namespace mv::shortcuts
