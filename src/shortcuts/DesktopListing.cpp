#include "shortcuts/DesktopListing.h"

#include <algorithm>
#include <cwchar>

#include "shortcuts/SpecialFolders.h"

namespace mv::shortcuts {

namespace {

// Where the shell keeps the user's folders: a change to either may move the
// desktop.
constexpr const wchar_t* kShellFolderKeys[] = {
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
};
constexpr DWORD kWatchedChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
// About 500 entries a read.
constexpr size_t kRecordBytes = 64 * 1024;

// Longer than any file system's clock tick (FAT's is 2 s), in 100 ns units.
constexpr uint64_t kSettleTicks = 3 * 10'000'000ull;

FILETIME ToFileTime(const LARGE_INTEGER& time) {
    return FILETIME{static_cast<DWORD>(time.LowPart), static_cast<DWORD>(time.HighPart)};
}

uint64_t Ticks(const FILETIME& time) { return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; }

}  // namespace

DesktopListing::Pass::Pass(DesktopListing& listing) : hold_(listing.lock_, std::try_to_lock) {
    if (hold_.owns_lock() && listing.Prepare()) {
        kept_ = &listing;
        folder_ = listing.path_;
        return;
    }
    if (hold_.owns_lock()) hold_.unlock();
    GetDesktopFolderPath(folder_);
    find_.reset(::FindFirstFileW((folder_ + L"\\*.*").c_str(), &first_));
    pendingFirst_ = static_cast<bool>(find_);
}

bool DesktopListing::Pass::Next(WIN32_FIND_DATAW& entry) {
    if (!kept_) {
        if (!pendingFirst_) return find_ && ::FindNextFileW(find_.get(), &entry);
        entry = first_;
        pendingFirst_ = false;
        return true;
    }
    if (!filled_ && (exhausted_ || !Fill(started_ ? FileFullDirectoryInfo : FileFullDirectoryRestartInfo))) {
        exhausted_ = true;
        return false;
    }
    const auto* records = reinterpret_cast<const unsigned char*>(kept_->records_.data());
    const auto& record = *reinterpret_cast<const FILE_FULL_DIR_INFO*>(records + at_);
    entry = WIN32_FIND_DATAW{};
    entry.dwFileAttributes = record.FileAttributes;
    entry.ftCreationTime = ToFileTime(record.CreationTime);
    entry.ftLastAccessTime = ToFileTime(record.LastAccessTime);
    entry.ftLastWriteTime = ToFileTime(record.LastWriteTime);
    entry.nFileSizeHigh = static_cast<DWORD>(record.EndOfFile.HighPart);
    entry.nFileSizeLow = record.EndOfFile.LowPart;
    const size_t units = std::min<size_t>(record.FileNameLength / sizeof(wchar_t), MAX_PATH - 1);
    wmemcpy(entry.cFileName, record.FileName, units);
    if (record.NextEntryOffset)
        at_ += record.NextEntryOffset;
    else
        filled_ = false;
    return true;
}

bool DesktopListing::Pass::Fill(FILE_INFO_BY_HANDLE_CLASS kind) {
    std::vector<uint64_t>& records = kept_->records_;
    if (!::GetFileInformationByHandleEx(kept_->directory_.get(), kind, records.data(),
                                        static_cast<DWORD>(records.size() * sizeof(uint64_t))))
        return false;
    started_ = filled_ = true;
    at_ = 0;
    return true;
}

// The shell is asked again only after a change to its folder settings, or
// when the folder is gone (it makes the folder again). The folder is opened
// again when its own last-write time is not the one noted: Wine reads the
// names in a folder once per handle, and lists those same names on every
// later read, so a handle serves only while no name was added, removed or
// changed. The sizes and times of the entries are read afresh each time.
bool DesktopListing::Prepare() {
    const HANDLE changes[] = {changed_[0].get(), changed_[1].get()};
    WIN32_FILE_ATTRIBUTE_DATA named{};
    if (!directory_ || ::WaitForMultipleObjects(2, changes, FALSE, 0) != WAIT_TIMEOUT ||
        !::GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &named))
        return Refresh();
    if (reusable_ && CompareFileTime(&named.ftLastWriteTime, &written_) == 0 &&
        CompareFileTime(&named.ftCreationTime, &created_) == 0)
        return true;
    if (Open()) return true;
    Drop();
    return false;
}

bool DesktopListing::Refresh() {
    Drop();
    try {
        // Watched before the shell is asked: a change from then on is seen
        // at the next walk.
        if (WatchShellFolders() && GetDesktopFolderPath(path_) && !path_.empty()) {
            records_.resize(kRecordBytes / sizeof(uint64_t));
            if (Open()) return true;
        }
    } catch (...) {
    }
    Drop();
    return false;
}

// Opens the folder and notes its times. A folder changed within the last
// few seconds may change again within one tick of its clock, leaving its
// time as noted: its handle serves this walk only.
bool DesktopListing::Open() {
    directory_.reset(::CreateFileW(path_.c_str(), FILE_LIST_DIRECTORY,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_BASIC_INFO held{};
    if (!directory_ || !::GetFileInformationByHandleEx(directory_.get(), FileBasicInfo, &held, sizeof held))
        return false;
    written_ = ToFileTime(held.LastWriteTime);
    created_ = ToFileTime(held.CreationTime);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    reusable_ = Ticks(written_) + kSettleTicks < Ticks(now);
    return true;
}

bool DesktopListing::WatchShellFolders() {
    for (size_t i = 0; i < std::size(kShellFolderKeys); ++i) {
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolderKeys[i], 0, KEY_NOTIFY, keys_[i].put()) != ERROR_SUCCESS)
            return false;
        changed_[i].reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!changed_[i] ||
            ::RegNotifyChangeKeyValue(keys_[i].get(), FALSE, kWatchedChanges, changed_[i].get(), TRUE) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

void DesktopListing::Drop() {
    directory_.reset();
    reusable_ = false;
    for (auto& key : keys_) key.reset();
    for (auto& changed : changed_) changed.reset();
    path_.clear();
}

}  // namespace mv::shortcuts
