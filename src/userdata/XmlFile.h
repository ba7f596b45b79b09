#pragma once
// The store's document: a wide-character RapidXML document, the UTF-16
// text it was parsed from, and the way from file bytes to it and back.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "userdata/XmlCharClasses.h"

namespace mv::userdata {

using XmlDocument = rapidxml::xml_document<wchar_t>;
using XmlNode = rapidxml::xml_node<wchar_t>;

inline constexpr int kParseFlags = rapidxml::parse_full;
inline constexpr int kPrintFlags = 0;

// Bytes in the process's ANSI code page to UTF-16; empty when conversion fails.
std::wstring AnsiToWide(const char* bytes, int count);
// UTF-16 to UTF-8; `count` -1 means NUL-terminated (the terminator is not kept).
std::string WideToUtf8(const wchar_t* text, int count);

enum class LoadResult {
    Loaded,
    // Could not be read now (sharing, access, memory): says nothing of the file.
    Unreadable,
    // Read whole, and it is not a document the store can use.
    Damaged,
};

class XmlFile {
public:
    XmlFile();
    XmlFile(const XmlFile&) = delete;
    XmlFile& operator=(const XmlFile&) = delete;

    // Reads, converts (a GB2312 declaration, a byte order mark) and parses.
    // The document is replaced only when the result is Loaded.
    LoadResult TryLoadFile(const wchar_t* path);
    bool LoadFile(const wchar_t* path) { return TryLoadFile(path) == LoadResult::Loaded; }
    bool LoadUtf8(const char* bytes);
    bool LoadText(const wchar_t* text);

    // The whole document as printed (line feeds only).
    std::wstring Print() const;
    // The bytes of the file for the document, appended to `out`: printed
    // straight into UTF-8 with CR LF line ends, byte for byte what converting
    // Print() and writing it with WriteFileBytes makes.
    void PrintFileBytes(std::string& out) const;
    // The same, noting in `starts` where each child of `parent` begins, in
    // order, and then where the last one ends. `starts` is left empty when
    // `parent` has no children or is not printed child by child.
    void PrintFileBytes(std::string& out, const XmlNode& parent, std::vector<size_t>& starts) const;
    // The bytes of `node` alone, appended to `out`, as the document's bytes
    // hold it `depth` levels down.
    static void PrintNodeBytes(const XmlNode& node, int depth, std::string& out);
    // Prints and writes; false when the file was not replaced.
    bool SaveFile(const wchar_t* path) const;
    // Writes `bytes` with CR LF line ends, through a temporary file beside
    // `path` that replaces it in one step: the file is always either the old
    // or the new complete content. The first overload stops at a NUL, the
    // second writes every byte it is given.
    static bool WriteFileBytes(const wchar_t* path, const char* bytes);
    static bool WriteFileBytes(const wchar_t* path, std::string_view bytes);
    // The same, for bytes that already have their CR LF line ends.
    static bool WriteDiskBytes(const wchar_t* path, std::string_view disk);

    // A node of `kind`; the name and value given are copied into the pool.
    // Null when no node could be made.
    XmlNode* CreateNode(rapidxml::node_type kind, const wchar_t* name, const wchar_t* value);
    // A copy of `text` in the pool (terminated), or null.
    wchar_t* CopyString(std::wstring_view text);

    // Empties the document and frees its pool.
    void Clear();
    // Bytes taken from the pool by CreateNode and CopyString since the last
    // load, clear or compaction: an upper bound of what replaced values waste.
    size_t AllocatedBytes() const { return allocated_; }
    // Rebuilds the same tree in a fresh pool, so that replaced strings and
    // detached nodes are freed. The printed bytes do not change.
    bool Compact();

    XmlDocument& document() { return *document_; }
    const XmlDocument& document() const { return *document_; }

private:
    LoadResult Adopt(std::vector<wchar_t> text);

    std::unique_ptr<XmlDocument> document_;
    // The parsed nodes point into this buffer; a vector keeps its buffer
    // when it is moved, where a short string would not.
    std::vector<wchar_t> text_;
    size_t allocated_ = 0;
};

// The temporary file a save of `path` goes through: in the same folder, named
// after the process, so that no two processes ever write the same one. It is
// never longer than the store's own path.
std::wstring TemporaryPathFor(const wchar_t* path);
// Removes temporary files in `folder` left by processes that ended while
// saving.
void RemoveStaleTemporaries(const std::wstring& folder);

}  // namespace mv::userdata
