#pragma once
// The bytes of the store's last save and where each entry lies in them. A
// change to one entry is printed alone and spliced in: the whole file is
// still written, but not the whole document printed again.
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "userdata/XmlFile.h"

namespace mv::userdata {

class SavedBytes {
public:
    // Prints the whole document, noting where each child of `root` lies.
    void PrintAll(const XmlFile& file, const XmlNode* root);
    // Prints `entry`, a child of the root, again in its place. False, and
    // nothing changed, when its place is not known: PrintAll then.
    bool Reprint(const XmlNode& entry);
    // Prints `entry`, just appended to the root, after the root's last
    // child. False, and nothing changed, when that place is not known.
    bool PrintAppended(const XmlNode& entry);
    // The document was changed, replaced or rebuilt some other way: the
    // places noted no longer hold. An exception from the calls above leaves
    // the bytes in this state too.
    void Forget();

    const std::string& bytes() const { return bytes_; }

private:
    void Splice(const XmlNode& child, size_t place, size_t oldEnd);

    std::string bytes_;
    // Where each child of the root begins, then where the last one ends.
    std::vector<size_t> starts_;
    std::unordered_map<const XmlNode*, size_t> places_;
    const XmlNode* root_ = nullptr;
    // One entry's bytes, kept between calls like the file's own.
    std::string entry_;
};

}  // namespace mv::userdata
