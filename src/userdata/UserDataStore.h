#pragma once
// The process's key/value store behind GetValue and SetValue, kept in
// UserData.xml under the product data folder. One entry element per key,
// its value in CDATA.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "userdata/SavedBytes.h"
#include "userdata/StoreMutex.h"
#include "userdata/XmlFile.h"
#include "win/PathBuffer.h"

namespace mv::userdata {

inline constexpr wchar_t kConfigFolderName[] = L"\\config";
inline constexpr wchar_t kStoreFileName[] = L"\\UserData.xml";
inline constexpr wchar_t kRootName[] = L"UserData";
// A write that would make the file larger than this is refused: browsers
// give one site's local storage about as much. A longer value is refused
// before anything is copied.
inline constexpr size_t kMaxStoreFileBytes = 10 * 1024 * 1024;

// Keys are element names, so only an XML name can be stored: anything else
// would make the file unreadable.
bool IsStorableKey(const wchar_t* key);

class UserDataStore {
public:
    // The current user's store, under the product data folder.
    UserDataStore();
    // A store kept in `dataFolder`\config\UserData.xml.
    explicit UserDataStore(const std::wstring& dataFolder);
    UserDataStore(const UserDataStore&) = delete;
    UserDataStore& operator=(const UserDataStore&) = delete;

    std::wstring ReadValue(const wchar_t* key);
    void WriteValue(const wchar_t* key, const wchar_t* value);

    // The file's full path; empty when the folder's path is too long to hold
    // it, and the store then lives in memory only.
    const wchar_t* path() const { return path_.c_str(); }

private:
    struct FileStamp {
        bool exists = false;
        uint64_t size = 0;
        FILETIME written{};
        FILETIME created{};
        bool operator==(const FileStamp& other) const;
    };

    void Open(const std::wstring& dataFolder);
    bool LoadOrCreate();
    bool CreateNew();
    bool BuildEmpty();
    bool SyncWithFile();
    bool UpToDate() const;
    void RememberFile();
    // What changed since the last print: the whole document, or one entry
    // of the root, replaced or appended.
    enum class Change { Document, Replaced, Appended };
    // False when the file would grow past its bound: the change is undone.
    bool Print(Change change = Change::Document, const XmlNode* entry = nullptr);
    // False when the printed document could not be written.
    bool WriteOut();
    void CompactIfWasteful();

    bool AddEntry(const wchar_t* key, const wchar_t* value);
    bool ReplaceEntryValue(XmlNode* entry, const wchar_t* value);
    XmlNode* AppendEntry(const wchar_t* key, std::wstring_view value);
    bool PutValue(XmlNode& entry, std::wstring_view value);
    struct Unsaved;
    void KeepUnsaved(Unsaved change);
    void ReapplyUnsaved();
    bool InsertSegments(XmlNode& entry, XmlNode* before, std::wstring_view value);

    XmlNode* Root() const { return root_; }
    XmlNode* FindEntry(const wchar_t* key) const;
    // Finds the root and indexes its entries; run whenever the document is
    // replaced or rebuilt.
    void IndexEntries();

    win::PathBuffer path_;
    XmlFile file_;
    std::mutex lock_;
    std::unique_ptr<StoreMutex> shared_;
    FileStamp seen_;
    // The document stands for the file as last seen, and may be saved over
    // it. False while the file could not be read, or set aside.
    bool synced_ = false;
    // The document came from the file, or was made fresh for it, at least
    // once; until then it holds only changes made without the file.
    bool readFile_ = false;
    uint32_t seenSaves_ = 0;
    size_t fileBytes_ = 0;
    size_t liveBytes_ = 0;
    XmlNode* root_ = nullptr;
    // Each entry by its name, the first of a name only. The names point into
    // the document, which outlives every use of the index.
    std::unordered_map<std::wstring_view, XmlNode*> entries_;
    // False when the index could not be built: entries are then walked.
    bool indexed_ = false;
    SavedBytes saved_;

    // A change the file does not hold yet (it could not be read or written,
    // or its lock not had in time): saved with the next save, and applied
    // again over each reload unless another process has changed the key
    // since; its value then stands.
    struct Unsaved {
        std::wstring key;
        std::wstring value;
        // The key's value in the file as this process last read it; unknown
        // when it never read the file.
        std::optional<std::wstring> base;
        bool baseKnown = true;
    };
    std::vector<Unsaved> unsaved_;
};

// The one store of the process, made at the first call.
UserDataStore& GetUserDataStore();

}  // namespace mv::userdata
