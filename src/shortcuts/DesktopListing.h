#pragma once
// The entries of the user's desktop folder, as FindFirstFileW and
// FindNextFileW list them. Asking the shell for the folder costs Wine about
// 0.3 ms and opening the folder about 0.15 ms, more than reading a shortcut;
// so between scans the folder's path and an open handle to it are kept, for
// as long as the shell's folder settings and the folder's own times stay
// unchanged.
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "win/UniqueHandle.h"

namespace mv::shortcuts {

class DesktopListing {
public:
    DesktopListing() = default;
    DesktopListing(const DesktopListing&) = delete;
    DesktopListing& operator=(const DesktopListing&) = delete;

    // One walk through the folder's entries. While one thread walks the kept
    // handle, another walks a listing of its own.
    class Pass {
    public:
        explicit Pass(DesktopListing& listing);
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

        // False when the folder could not be listed.
        bool ok() const { return kept_ || find_; }
        // The desktop's path as the shell gives it; empty when it gave none.
        const std::wstring& folder() const { return folder_; }
        // The next entry, starting with the one FindFirstFileW would give.
        bool Next(WIN32_FIND_DATAW& entry);

    private:
        bool Fill(FILE_INFO_BY_HANDLE_CLASS kind);

        std::unique_lock<std::mutex> hold_;
        DesktopListing* kept_ = nullptr;
        std::wstring folder_;
        win::unique_find_handle find_;
        WIN32_FIND_DATAW first_{};
        bool pendingFirst_ = false;
        // The next record in the buffer, while it holds any.
        size_t at_ = 0;
        bool filled_ = false;
        bool started_ = false;
        bool exhausted_ = false;
    };

private:
    // Makes the path and handle kept fit to serve a walk now.
    bool Prepare();
    // Asks the shell again, watches its folder settings and opens the folder.
    bool Refresh();
    bool WatchShellFolders();
    bool Open();
    void Drop();

    std::wstring path_;
    win::unique_file directory_;
    // The folder's times when it was opened, and whether they were old
    // enough for the handle to serve later walks.
    FILETIME written_{};
    FILETIME created_{};
    bool reusable_ = false;
    // The shell's per-user folder settings, and an event each that a change
    // to them sets.
    win::unique_hkey keys_[2];
    win::unique_handle changed_[2];
    // The buffer the directory is read into, aligned as its records need.
    std::vector<uint64_t> records_;
    std::mutex lock_;
};

}  // namespace mv::shortcuts
