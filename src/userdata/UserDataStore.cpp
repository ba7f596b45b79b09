#include "userdata/UserDataStore.h"

#include <io.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "shortcuts/SpecialFolders.h"
#include "userdata/SetAsideCopies.h"

namespace mv::userdata {

namespace {

constexpr wchar_t kDeclaration[] = L"xml version=\"1.0\" encoding=\"utf-8\"";
// The pool may waste this much beyond the live document before it is rebuilt:
// about the size of the pool's first block, which is never freed anyway.
constexpr size_t kPoolSlackBytes = 64 * 1024;
// The first kept-aside copy, path + ".bad", must fit in a path as well.
constexpr size_t kLongestSuffix = 4;

bool IsNameStart(uint32_t c) {
    return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
           (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(uint32_t c) {
    return IsNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool IsXmlBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// Splits a value so that no part holds "]]>": each occurrence is cut
// between "]]" and ">". A value without it stays one part.
std::vector<std::wstring_view> CdataSegments(std::wstring_view value) {
    std::vector<std::wstring_view> parts;
    size_t start = 0;
    for (size_t at = value.find(L"]]>"); at != std::wstring_view::npos; at = value.find(L"]]>", at + 1)) {
        parts.push_back(value.substr(start, at + 2 - start));
        start = at + 2;
    }
    parts.push_back(value.substr(start));
    return parts;
}

// An entry's value, or none for no entry.
std::optional<std::wstring> ValueOf(const XmlNode* entry) {
    if (!entry) return std::nullopt;
    const XmlNode* child = entry->first_node();
    if (!child) return std::wstring();
    std::wstring value(child->value(), child->value_size());
    // A value holding "]]>" is kept as a run of CDATA sections.
    if (child->type() == rapidxml::node_cdata)
        for (child = child->next_sibling(); child && child->type() == rapidxml::node_cdata;
             child = child->next_sibling())
            value.append(child->value(), child->value_size());
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

bool NameIs(const XmlNode& node, std::wstring_view name) {
    return std::wstring_view(node.name(), node.name_size()) == name;
}

// The entry's children as they were, to undo a write that is refused or
// fails half way. Restoring allocates nothing.
class EntrySnapshot {
public:
    explicit EntrySnapshot(XmlNode& entry) : entry_(entry) {
        for (XmlNode* child = entry.first_node(); child; child = child->next_sibling()) children_.push_back(child);
        if (!children_.empty()) {
            value_ = children_.front()->value();
            size_ = children_.front()->value_size();
            type_ = children_.front()->type();
        }
    }

    void Restore() {
        entry_.remove_all_nodes();
        for (XmlNode* child : children_) entry_.append_node(child);
        if (!children_.empty()) {
            children_.front()->value(value_, size_);
            children_.front()->type(type_);
        }
    }

private:
    XmlNode& entry_;
    std::vector<XmlNode*> children_;
    const wchar_t* value_ = nullptr;
    size_t size_ = 0;
    rapidxml::node_type type_ = rapidxml::node_cdata;
};

}  // namespace

bool IsStorableKey(const wchar_t* key) {
    if (!key || !key[0]) return false;
    for (size_t i = 0; key[i]; ++i) {
        uint32_t c = static_cast<uint16_t>(key[i]);
        if (c >= 0xD800 && c <= 0xDBFF) {
            const uint32_t low = static_cast<uint16_t>(key[i + 1]);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (!(i == 0 ? IsNameStart(c) : IsNameChar(c))) return false;
    }
    return true;
}

bool UserDataStore::FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && size == other.size &&
           CompareFileTime(&written, &other.written) == 0 && CompareFileTime(&created, &other.created) == 0;
}

UserDataStore::UserDataStore() { Open(shortcuts::GetProductDataFolder()); }

UserDataStore::UserDataStore(const std::wstring& dataFolder) { Open(dataFolder); }

void UserDataStore::Open(const std::wstring& dataFolder) {
    path_.Clear();
    // A path that does not fit is not cut short: the store then keeps to memory.
    if (!path_.Assign(dataFolder) || !path_.Append(kConfigFolderName) || !path_.Append(kStoreFileName) ||
        path_.size() + kLongestSuffix > win::PathBuffer::kCapacity - 1)
        path_.Clear();
    shared_ = std::make_unique<StoreMutex>(path_.c_str());
    StoreMutex::Hold hold(*shared_);
    // Without the lock the file is left alone; the next call tries again.
    if (hold.owned()) LoadOrCreate();
}

// Only a file that was read whole and is not a store is set aside and
// replaced. One that cannot be read now (held open by a virus scanner or a
// backup, no memory) is left as it is, and so is the document in memory.
bool UserDataStore::LoadOrCreate() {
    if (path_.empty()) {
        CreateNew();
        return synced_ = true;
    }
    std::wstring config(path_.str());
    config.resize(config.size() - (std::size(kStoreFileName) - 1));
    if (::_waccess(config.c_str(), 0) != 0) ::CreateDirectoryW(config.c_str(), nullptr);
    RemoveStaleTemporaries(config);

    if (::GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return synced_ = false;
        // No folder to hold the file, not even once "config" was made: the
        // product folder or its drive is gone, for a moment as a share or a
        // sync tool goes. What this process has is all there is of the store.
        if (error == ERROR_PATH_NOT_FOUND && Root()) return synced_ = false;
        CreateNew();
        RememberFile();
        ReapplyUnsaved();
        return synced_ = true;
    }
    const LoadResult loaded = file_.TryLoadFile(path_.c_str());
    if (loaded == LoadResult::Loaded) IndexEntries();
    if (loaded == LoadResult::Loaded && Root()) {
        readFile_ = true;
        RememberFile();
        fileBytes_ = static_cast<size_t>(seen_.size);
        liveBytes_ = fileBytes_ * sizeof(wchar_t);
        ReapplyUnsaved();
        return synced_ = true;
    }
    // A copy that cannot be kept means the file is not written over either.
    if (loaded == LoadResult::Unreadable || !SetAsideCopy(path_.str())) return synced_ = false;
    CreateNew();
    RememberFile();
    ReapplyUnsaved();
    return synced_ = true;
}

bool UserDataStore::CreateNew() {
    if (!BuildEmpty()) return false;
    readFile_ = true;
    if (Print()) WriteOut();
    return true;
}

// A fresh store's two nodes, in memory.
bool UserDataStore::BuildEmpty() {
    file_.Clear();
    IndexEntries();
    XmlNode* declaration = file_.CreateNode(rapidxml::node_pi, kDeclaration, nullptr);
    if (!declaration) return false;
    file_.document().append_node(declaration);
    XmlNode* root = file_.CreateNode(rapidxml::node_element, kRootName, L"");
    if (!root) return false;
    file_.document().append_node(root);
    IndexEntries();
    return true;
}

void UserDataStore::RememberFile() {
    seenSaves_ = shared_->Generation();
    seen_ = FileStamp();
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!path_.empty() && ::GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) {
        seen_.exists = true;
        seen_.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        seen_.written = data.ftLastWriteTime;
        seen_.created = data.ftCreationTime;
    }
}

// True when no process has saved since this one last read or wrote the file:
// one look at the save counter the processes share, no kernel object and no
// file. The file's own stamp, which an edit by hand changes, is looked at
// under the lock before each change.
bool UserDataStore::UpToDate() const {
    return path_.empty() || (synced_ && shared_->Counts() && shared_->Generation() == seenSaves_);
}

// True when the document may be changed and saved over the file. Runs under
// the store's lock.
bool UserDataStore::SyncWithFile() {
    if (path_.empty()) return true;
    const FileStamp before = seen_;
    const uint32_t saves = seenSaves_;
    RememberFile();
    if (synced_ && saves == seenSaves_ && before == seen_) return true;
    return LoadOrCreate();
}

bool UserDataStore::Print(Change change, const XmlNode* entry) {
    const bool spliced = (change == Change::Replaced && saved_.Reprint(*entry)) ||
                         (change == Change::Appended && saved_.PrintAppended(*entry));
    if (!spliced) saved_.PrintAll(file_, root_);
    const std::string& disk = saved_.bytes();
    if (disk.size() > kMaxStoreFileBytes && disk.size() > fileBytes_) {
        // The change is undone: the bytes no longer stand for the document.
        saved_.Forget();
        return false;
    }
    fileBytes_ = disk.size();
    liveBytes_ = disk.size() * sizeof(wchar_t);
    return true;
}

bool UserDataStore::WriteOut() {
    if (path_.empty()) return true;
    const bool written = XmlFile::WriteDiskBytes(path_.c_str(), saved_.bytes());
    if (written) shared_->CountSave();
    RememberFile();
    return written;
}

void UserDataStore::CompactIfWasteful() {
    if (file_.AllocatedBytes() > liveBytes_ + kPoolSlackBytes && file_.Compact()) IndexEntries();
}

void UserDataStore::IndexEntries() {
    saved_.Forget();
    root_ = nullptr;
    entries_.clear();
    indexed_ = false;
    for (XmlNode* node = file_.document().first_node(); node && !root_; node = node->next_sibling())
        if (node->type() == rapidxml::node_element && NameIs(*node, kRootName)) root_ = node;
    if (!root_) return;
    try {
        for (XmlNode* node = root_->first_node(); node; node = node->next_sibling())
            if (node->type() == rapidxml::node_element)
                entries_.emplace(std::wstring_view(node->name(), node->name_size()), node);
        indexed_ = true;
    } catch (...) {
        entries_.clear();
    }
}

XmlNode* UserDataStore::FindEntry(const wchar_t* key) const {
    if (!root_) return nullptr;
    const std::wstring_view name(key);
    if (indexed_) {
        const auto found = entries_.find(name);
        return found == entries_.end() ? nullptr : found->second;
    }
    for (XmlNode* node = root_->first_node(); node; node = node->next_sibling())
        if (node->type() == rapidxml::node_element && NameIs(*node, name)) return node;
    return nullptr;
}

std::wstring UserDataStore::ReadValue(const wchar_t* key) {
    try {
        std::lock_guard<std::mutex> guard(lock_);
        if (!UpToDate()) {
            // Without the lock, what this process has is served.
            StoreMutex::Hold hold(*shared_);
            // Changes kept while the file could not be had are saved as soon
            // as it can, not only with the next write.
            if (hold.owned() && SyncWithFile() && !unsaved_.empty() && Print() && WriteOut()) unsaved_.clear();
        }
        return ValueOf(key ? FindEntry(key) : nullptr).value_or(std::wstring());
    } catch (...) {
        return std::wstring();
    }
}

void UserDataStore::WriteValue(const wchar_t* key, const wchar_t* value) {
    // A value of as many units as the file may have bytes can never be
    // saved: each unit takes a byte at least, and markup surrounds it.
    if (!value || wcsnlen(value, kMaxStoreFileBytes) == kMaxStoreFileBytes || !IsStorableKey(key)) return;
    try {
        std::lock_guard<std::mutex> guard(lock_);
        // The file is never read or written without the lock. A change made
        // without it, or over a file this process could not read, is kept
        // until the file can be had.
        StoreMutex::Hold hold(*shared_);
        const bool synced = hold.owned() && SyncWithFile();
        // A store that has never read its file holds the change alone.
        if (!Root() && !BuildEmpty()) return;
        XmlNode* entry = FindEntry(key);
        const auto pending = std::find_if(unsaved_.begin(), unsaved_.end(),
                                          [&](const Unsaved& change) { return change.key == key; });
        Unsaved change{key, value, ValueOf(entry), readFile_};
        if (pending != unsaved_.end()) {
            change.base = pending->base;
            change.baseKnown = pending->baseKnown;
        }
        if (!(entry ? ReplaceEntryValue(entry, value) : AddEntry(key, value))) return;
        if (synced && WriteOut())
            unsaved_.clear();
        else
            KeepUnsaved(std::move(change));
        CompactIfWasteful();
    } catch (...) {
    }
}

bool UserDataStore::AddEntry(const wchar_t* key, const wchar_t* value) {
    XmlNode* entry = AppendEntry(key, value);
    if (!entry) return false;
    try {
        if (Print(Change::Appended, entry)) return true;
    } catch (...) {
    }
    entries_.erase(std::wstring_view(entry->name(), entry->name_size()));
    Root()->remove_node(entry);
    return false;
}

// The new entry, appended and indexed; null when it could not be made.
XmlNode* UserDataStore::AppendEntry(const wchar_t* key, std::wstring_view value) {
    XmlNode* root = Root();
    if (!root) return nullptr;
    XmlNode* entry = file_.CreateNode(rapidxml::node_element, key, L"");
    if (!entry || !InsertSegments(*entry, nullptr, value)) return nullptr;
    root->append_node(entry);
    try {
        if (indexed_) entries_.emplace(std::wstring_view(entry->name(), entry->name_size()), entry);
        return entry;
    } catch (...) {
    }
    root->remove_node(entry);
    return nullptr;
}

bool UserDataStore::ReplaceEntryValue(XmlNode* entry, const wchar_t* value) {
    EntrySnapshot before(*entry);
    try {
        if (PutValue(*entry, value) && Print(Change::Replaced, entry)) return true;
    } catch (...) {
    }
    before.Restore();
    return false;
}

void UserDataStore::KeepUnsaved(Unsaved change) {
    for (Unsaved& kept : unsaved_)
        if (kept.key == change.key) {
            kept.value = std::move(change.value);
            return;
        }
    unsaved_.push_back(std::move(change));
}

// Runs after the document was read again from the file.
void UserDataStore::ReapplyUnsaved() {
    std::vector<Unsaved> still;
    for (Unsaved& change : unsaved_) {
        XmlNode* entry = FindEntry(change.key.c_str());
        // Without a base nothing tells another process's value from an
        // older one: the change made here, later than the file last read by
        // anybody for this process, stands.
        if (change.baseKnown && ValueOf(entry) != change.base) continue;
        bool put = false;
        if (entry) {
            EntrySnapshot before(*entry);
            put = PutValue(*entry, change.value);
            if (!put) before.Restore();
        } else {
            put = AppendEntry(change.key.c_str(), change.value) != nullptr;
        }
        if (put) still.push_back(std::move(change));
    }
    unsaved_ = std::move(still);
    saved_.Forget();
}

bool UserDataStore::PutValue(XmlNode& entry, std::wstring_view value) {
    XmlNode* first = entry.first_node();
    if (!first) return InsertSegments(entry, nullptr, value);
    if (first->type() == rapidxml::node_cdata) {
        const auto segments = CdataSegments(value);
        wchar_t* copy = file_.CopyString(segments.front());
        if (!copy) return false;
        while (first->next_sibling() && first->next_sibling()->type() == rapidxml::node_cdata)
            entry.remove_node(first->next_sibling());
        first->value(copy, segments.front().size());
        XmlNode* after = first->next_sibling();
        for (size_t i = 1; i < segments.size(); ++i) {
            XmlNode* node = file_.CreateNode(rapidxml::node_cdata, nullptr, std::wstring(segments[i]).c_str());
            if (!node) return false;
            entry.insert_node(after, node);
        }
        return true;
    }
    if (first->type() == rapidxml::node_data) {
        // A hand-edited text entry stays text, escaped when printed.
        wchar_t* copy = file_.CopyString(value);
        if (!copy) return false;
        first->value(copy, value.size());
        // Blank text between tags is not read back as data; CDATA keeps it.
        if (!value.empty() && std::all_of(value.begin(), value.end(), IsXmlBlank)) first->type(rapidxml::node_cdata);
        return true;
    }
    // A comment or an element cannot carry the value: it goes before them.
    return InsertSegments(entry, first, value);
}

bool UserDataStore::InsertSegments(XmlNode& entry, XmlNode* before, std::wstring_view value) {
    for (const std::wstring_view segment : CdataSegments(value)) {
        XmlNode* node = file_.CreateNode(rapidxml::node_cdata, nullptr, std::wstring(segment).c_str());
        if (!node) return false;
        entry.insert_node(before, node);
    }
    return true;
}

UserDataStore& GetUserDataStore() {
    static UserDataStore store;
    return store;
}

}  // namespace mv::userdata
