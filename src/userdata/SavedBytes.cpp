#include "userdata/SavedBytes.h"

namespace mv::userdata {

namespace {

// The root sits at the top of the document; its entries one level down.
constexpr int kEntryDepth = 1;

}  // namespace

void SavedBytes::PrintAll(const XmlFile& file, const XmlNode* root) {
    Forget();
    // The buffer of the last save is reused: fresh memory of the file's size
    // would cost a page fault every 4 KiB.
    bytes_.clear();
    if (!root) {
        file.PrintFileBytes(bytes_);
        return;
    }
    file.PrintFileBytes(bytes_, *root, starts_);
    if (starts_.empty()) return;
    size_t place = 0;
    for (const XmlNode* child = root->first_node(); child; child = child->next_sibling()) places_[child] = place++;
    root_ = root;
}

bool SavedBytes::Reprint(const XmlNode& entry) {
    const auto found = places_.find(&entry);
    if (found == places_.end()) return false;
    const size_t place = found->second;
    Splice(entry, place, starts_[place + 1]);
    return true;
}

bool SavedBytes::PrintAppended(const XmlNode& entry) {
    if (!root_ || entry.parent() != root_ || entry.next_sibling() || !entry.previous_sibling()) return false;
    const auto last = places_.find(entry.previous_sibling());
    if (last == places_.end() || last->second + 2 != starts_.size()) return false;
    try {
        const size_t place = starts_.size() - 1;
        places_[&entry] = place;
        starts_.push_back(starts_.back());
        Splice(entry, place, starts_[place]);
        return true;
    } catch (...) {
        Forget();
        throw;
    }
}

// Replaces the bytes from the start of `child`, at `place`, to `oldEnd` with
// the child printed anew, and moves the places after it.
void SavedBytes::Splice(const XmlNode& child, size_t place, size_t oldEnd) {
    try {
        entry_.clear();
        XmlFile::PrintNodeBytes(child, kEntryDepth, entry_);
        const size_t begin = starts_[place];
        bytes_.replace(begin, oldEnd - begin, entry_);
        const size_t end = begin + entry_.size();
        for (size_t next = place + 1; next < starts_.size(); ++next) starts_[next] = starts_[next] - oldEnd + end;
    } catch (...) {
        Forget();
        throw;
    }
}

void SavedBytes::Forget() {
    starts_.clear();
    places_.clear();
    root_ = nullptr;
}

}  // namespace mv::userdata
