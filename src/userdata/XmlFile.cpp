#include "userdata/XmlFile.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>

#include <rapidxml_print.hpp>

#include "userdata/XmlNesting.h"
#include "win/UniqueHandle.h"

namespace mv::userdata {

namespace {

constexpr char kGb2312Marker[] = "encoding=\"GB2312\"";
constexpr char kUtf8Marker[] = "encoding=\"utf-8\"";
constexpr size_t kMarkerLength = sizeof(kGb2312Marker) - 1;
// Far beyond any file the store writes: a larger file is not read into a
// page's memory at all, and counts as not a store.
constexpr LONGLONG kLargestReadBytes = 32 * 1024 * 1024;
// The parser descends one call per element level: a file nested deeper than
// any store writes would exhaust the stack, so it is refused unparsed.
constexpr int kMaxElementDepth = 1000;
// Half the store's lock wait (StoreMutex::kLockWaitMs): a process that
// waits for the lock while a save retries still gets it in time.
constexpr ULONGLONG kReplaceRetryMs = 1000;
constexpr DWORD kReplaceRetryStepMs = 25;

// The marker counts only inside the XML declaration at the start of the
// file: a stored value holding the same bytes must not make the next load
// decode a UTF-8 file as ANSI text.
size_t FindGb2312Marker(const std::string& bytes) {
    size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    start = bytes.find_first_not_of(" \t\r\n", start);
    if (start == std::string::npos || bytes.compare(start, 5, "<?xml") != 0) return std::string::npos;
    const size_t end = bytes.find("?>", start);
    const size_t marker = bytes.find(kGb2312Marker, start);
    if (marker == std::string::npos || end == std::string::npos || marker + kMarkerLength > end)
        return std::string::npos;
    return marker;
}

// The text-mode reading of the file: each CR LF pair becomes LF. Unlike the
// C runtime's text mode, a Ctrl+Z byte is data, not the end of the file.
void JoinLineEnds(std::string& bytes) {
    size_t out = 0;
    for (size_t in = 0; in < bytes.size(); ++in) {
        if (bytes[in] == '\r' && in + 1 < bytes.size() && bytes[in + 1] == '\n') continue;
        bytes[out++] = bytes[in];
    }
    bytes.resize(out);
}

LoadResult ReadWholeFile(const wchar_t* path, std::string& bytes) {
    // Others may read, write or replace the file meanwhile: a save that
    // replaces it must never fail because this read holds it open.
    win::unique_file file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LoadResult::Unreadable;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return LoadResult::Unreadable;
    if (size.QuadPart > kLargestReadBytes) return LoadResult::Damaged;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr))
            return LoadResult::Unreadable;
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return LoadResult::Loaded;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// A file held open by a virus scanner or a backup is let go within moments.
bool ReplaceWith(const std::wstring& temp, const wchar_t* path) {
    const ULONGLONG deadline = ::GetTickCount64() + kReplaceRetryMs;
    for (;;) {
        if (::MoveFileExW(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
            ::GetTickCount64() >= deadline)
            return false;
        ::Sleep(kReplaceRetryStepMs);
    }
}

wchar_t* PoolCopy(XmlDocument& document, const wchar_t* text, size_t length) {
    wchar_t* copy = document.allocate_string(nullptr, length + 1);
    if (length) wmemcpy(copy, text, length);
    copy[length] = L'\0';
    return copy;
}

XmlNode* CopyTree(XmlDocument& into, const XmlNode& source) {
    XmlNode* copy = into.allocate_node(source.type());
    if (source.name_size()) copy->name(PoolCopy(into, source.name(), source.name_size()), source.name_size());
    if (source.value_size()) copy->value(PoolCopy(into, source.value(), source.value_size()), source.value_size());
    for (auto* attribute = source.first_attribute(); attribute; attribute = attribute->next_attribute()) {
        auto* attributeCopy = into.allocate_attribute();
        attributeCopy->name(PoolCopy(into, attribute->name(), attribute->name_size()), attribute->name_size());
        attributeCopy->value(PoolCopy(into, attribute->value(), attribute->value_size()), attribute->value_size());
        copy->append_attribute(attributeCopy);
    }
    for (const XmlNode* child = source.first_node(); child; child = child->next_sibling())
        copy->append_node(CopyTree(into, *child));
    return copy;
}

}  // namespace

std::wstring AnsiToWide(const char* bytes, int count) {
    const int units = ::MultiByteToWideChar(CP_ACP, 0, bytes, count, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring buffer(static_cast<size_t>(units) + 1, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes, count, buffer.data(), units);
    buffer.resize(wcslen(buffer.c_str()));
    return buffer;
}

std::string WideToUtf8(const wchar_t* text, int count) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, count, out.data(), bytes, nullptr, nullptr);
    if (count == -1) out.resize(out.size() - 1);
    return out;
}

// Eight hexadecimal digits and ".tmp": as long as "\\UserData.xml" less its
// backslash.
constexpr size_t kTemporaryNameLength = 12;

std::wstring TemporaryPathFor(const wchar_t* path) {
    std::wstring temp(path);
    const size_t slash = temp.find_last_of(L"\\/");
    temp.resize(slash == std::wstring::npos ? 0 : slash + 1);
    wchar_t name[kTemporaryNameLength + 1] = {};
    swprintf(name, kTemporaryNameLength + 1, L"%08lX.tmp", ::GetCurrentProcessId());
    return temp + name;
}

void RemoveStaleTemporaries(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    win::unique_find_handle find(::FindFirstFileW((folder + L"\\????????.tmp").c_str(), &found));
    if (!find) return;
    do {
        wchar_t* end = nullptr;
        const DWORD pid = wcstoul(found.cFileName, &end, 16);
        if (wcslen(found.cFileName) != kTemporaryNameLength || end != found.cFileName + 8) continue;
        // A process that still runs may be writing its file right now.
        win::unique_handle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
        const bool ended = process ? ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0
                                   : ::GetLastError() == ERROR_INVALID_PARAMETER;
        if (ended && pid != ::GetCurrentProcessId()) ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (::FindNextFileW(find.get(), &found));
}

XmlFile::XmlFile() : document_(std::make_unique<XmlDocument>()) {}

namespace {

// The text up to its first NUL, terminated; empty on a failed conversion.
std::vector<wchar_t> Utf8ToText(const char* bytes) {
    const int length = static_cast<int>(strlen(bytes));
    std::vector<wchar_t> text;
    const int units = length > 0 ? ::MultiByteToWideChar(CP_UTF8, 0, bytes, length, nullptr, 0) : 0;
    text.resize(static_cast<size_t>(units > 0 ? units : 0) + 1);
    if (units > 0) ::MultiByteToWideChar(CP_UTF8, 0, bytes, length, text.data(), units);
    if (length > 0 && units <= 0) text.clear();
    return text;
}

}  // namespace

LoadResult XmlFile::TryLoadFile(const wchar_t* path) {
    try {
        std::string bytes;
        const LoadResult read = ReadWholeFile(path, bytes);
        if (read != LoadResult::Loaded) return read;
        JoinLineEnds(bytes);
        if (bytes.empty()) return LoadResult::Damaged;
        const size_t marker = FindGb2312Marker(bytes);
        if (marker != std::string::npos) {
            bytes.replace(marker, kMarkerLength, kUtf8Marker);
            const std::wstring wide = AnsiToWide(bytes.data(), static_cast<int>(bytes.size()));
            bytes = WideToUtf8(wide.data(), static_cast<int>(wide.size()));
            // Left as it was when it cannot be rewritten: the text is read all the same.
            WriteFileBytes(path, bytes);
        }
        if (bytes.size() > 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
        std::vector<wchar_t> text = Utf8ToText(bytes.c_str());
        if (text.empty()) return LoadResult::Unreadable;
        return Adopt(std::move(text));
    } catch (...) {
        // Out of memory: nothing is known about the file.
        return LoadResult::Unreadable;
    }
}

bool XmlFile::LoadUtf8(const char* bytes) {
    try {
        std::vector<wchar_t> text = Utf8ToText(bytes);
        return !text.empty() && Adopt(std::move(text)) == LoadResult::Loaded;
    } catch (...) {
        return false;
    }
}

bool XmlFile::LoadText(const wchar_t* text) {
    try {
        return Adopt(std::vector<wchar_t>(text, text + wcslen(text) + 1)) == LoadResult::Loaded;
    } catch (...) {
        return false;
    }
}

// Parsed into a new document, so that a failure leaves the one in use as it
// was. The old pool goes with the old nodes: loading again and again does not
// grow the process.
LoadResult XmlFile::Adopt(std::vector<wchar_t> text) {
    try {
        if (NestsDeeperThan(text.data(), kMaxElementDepth)) return LoadResult::Damaged;
        auto parsed = std::make_unique<XmlDocument>();
        parsed->parse<kParseFlags>(text.data());
        document_ = std::move(parsed);
        text_ = std::move(text);
        allocated_ = 0;
        return LoadResult::Loaded;
    } catch (const rapidxml::parse_error&) {
        return LoadResult::Damaged;
    } catch (...) {
        return LoadResult::Unreadable;
    }
}

namespace {

// Takes the printed document unit by unit and keeps the file's bytes. ASCII
// is written as it comes, a line feed after a carriage return; each run of
// other units goes to the platform's converter whole, so that surrogate
// pairs, and lone surrogates, come out as converting the whole text would.
class FileBytesWriter {
public:
    explicit FileBytesWriter(std::string& out) : out_(out) {}

    void Put(wchar_t unit) {
        if (unit >= 0x80) {
            run_.push_back(unit);
            return;
        }
        if (!run_.empty()) Finish();
        if (unit == L'\n') out_.push_back('\r');
        out_.push_back(static_cast<char>(unit));
    }

    void Finish() {
        if (run_.empty()) return;
        const int count = static_cast<int>(run_.size());
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, run_.data(), count, nullptr, 0, nullptr, nullptr);
        const size_t at = out_.size();
        out_.resize(at + static_cast<size_t>(bytes > 0 ? bytes : 0));
        if (bytes > 0) ::WideCharToMultiByte(CP_UTF8, 0, run_.data(), count, out_.data() + at, bytes, nullptr, nullptr);
        run_.clear();
    }

private:
    std::string& out_;
    std::wstring run_;
};

// The printer's output iterator: every copy writes to the same writer.
struct FileBytesIterator {
    FileBytesWriter* writer;
    FileBytesIterator& operator*() { return *this; }
    FileBytesIterator& operator++() { return *this; }
    FileBytesIterator operator++(int) { return *this; }
    FileBytesIterator& operator=(wchar_t unit) {
        writer->Put(unit);
        return *this;
    }
};

// Text copied as a whole: runs of ASCII byte for byte, line feeds as CR LF,
// runs of other units through the platform's converter.
void AppendFileText(std::string& out, const wchar_t* text, size_t size) {
    for (size_t i = 0; i < size;) {
        size_t end = i;
        while (end < size && text[end] < 0x80 && text[end] != L'\n') ++end;
        if (end > i) {
            const size_t at = out.size();
            out.resize(at + (end - i));
            for (char* to = out.data() + at; i < end; ++i) *to++ = static_cast<char>(text[i]);
        }
        if (i < size && text[i] == L'\n') {
            out += "\r\n";
            ++i;
        }
        for (end = i; end < size && text[end] >= 0x80;) ++end;
        if (end == i) continue;
        const int count = static_cast<int>(end - i);
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text + i, count, nullptr, 0, nullptr, nullptr);
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(bytes > 0 ? bytes : 0));
        if (bytes > 0) ::WideCharToMultiByte(CP_UTF8, 0, text + i, count, out.data() + at, bytes, nullptr, nullptr);
        i = end;
    }
}

// The store's own shapes, elements without attributes holding CDATA or
// elements, printed in bulk exactly as the parser's printer lays them out
// with flags 0; every other node goes through that printer itself.
class FileBytesPrinter {
public:
    explicit FileBytesPrinter(std::string& out, const XmlNode* parent = nullptr, std::vector<size_t>* starts = nullptr)
        : out_(out), writer_(out), parent_(parent), starts_(starts) {}

    void Node(const XmlNode& node, int indent) {
        if (node.type() == rapidxml::node_cdata) {
            out_.append(static_cast<size_t>(indent), '\t');
            out_ += "<![CDATA[";
            AppendFileText(out_, node.value(), node.value_size());
            out_ += "]]>\r\n";
        } else if (IsPlainElement(node)) {
            out_.append(static_cast<size_t>(indent), '\t');
            out_ += '<';
            AppendFileText(out_, node.name(), node.name_size());
            if (!node.first_node()) {
                out_ += "/>\r\n";
                return;
            }
            out_ += ">\r\n";
            const bool noted = &node == parent_;
            for (const XmlNode* child = node.first_node(); child; child = child->next_sibling()) {
                if (noted) starts_->push_back(out_.size());
                Node(*child, indent + 1);
            }
            if (noted) starts_->push_back(out_.size());
            out_.append(static_cast<size_t>(indent), '\t');
            out_ += "</";
            AppendFileText(out_, node.name(), node.name_size());
            out_ += ">\r\n";
        } else {
            rapidxml::internal::print_node(FileBytesIterator{&writer_}, &node, kPrintFlags, indent);
            writer_.Finish();
        }
    }

private:
    // Printed with its children indented; a sole text child or a value of
    // its own would be printed inline, escaped.
    static bool IsPlainElement(const XmlNode& node) {
        if (node.type() != rapidxml::node_element || node.first_attribute()) return false;
        const XmlNode* child = node.first_node();
        if (!child) return node.value_size() == 0;
        return child->next_sibling() || child->type() != rapidxml::node_data;
    }

    std::string& out_;
    FileBytesWriter writer_;
    const XmlNode* parent_;
    std::vector<size_t>* starts_;
};

}  // namespace

// Node by node: printing the document node itself would add a line feed
// of its own after the last one, an empty last line in the file.
std::wstring XmlFile::Print() const {
    std::wstring out;
    for (const XmlNode* node = document_->first_node(); node; node = node->next_sibling())
        rapidxml::print(std::back_inserter(out), *node, kPrintFlags);
    return out;
}

void XmlFile::PrintFileBytes(std::string& out) const {
    FileBytesPrinter printer(out);
    for (const XmlNode* node = document_->first_node(); node; node = node->next_sibling()) printer.Node(*node, 0);
}

void XmlFile::PrintFileBytes(std::string& out, const XmlNode& parent, std::vector<size_t>& starts) const {
    starts.clear();
    FileBytesPrinter printer(out, &parent, &starts);
    for (const XmlNode* node = document_->first_node(); node; node = node->next_sibling()) printer.Node(*node, 0);
}

void XmlFile::PrintNodeBytes(const XmlNode& node, int depth, std::string& out) {
    FileBytesPrinter(out).Node(node, depth);
}

bool XmlFile::SaveFile(const wchar_t* path) const {
    try {
        std::string disk;
        PrintFileBytes(disk);
        return WriteDiskBytes(path, disk);
    } catch (...) {
        return false;
    }
}

bool XmlFile::WriteFileBytes(const wchar_t* path, const char* bytes) {
    return WriteFileBytes(path, std::string_view(bytes));
}

bool XmlFile::WriteFileBytes(const wchar_t* path, std::string_view bytes) {
    try {
        std::string disk;
        disk.reserve(bytes.size() + bytes.size() / 8);
        for (const char c : bytes) {
            if (c == '\n') disk += '\r';
            disk += c;
        }
        return WriteDiskBytes(path, disk);
    } catch (...) {
        return false;
    }
}

bool XmlFile::WriteDiskBytes(const wchar_t* path, std::string_view disk) {
    try {
        const std::wstring temp = TemporaryPathFor(path);
        bool written = false;
        {
            win::unique_file file(::CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) return false;
            written = WriteAll(file.get(), disk) && ::FlushFileBuffers(file.get());
        }
        if (written && ReplaceWith(temp, path)) return true;
        ::DeleteFileW(temp.c_str());
        return false;
    } catch (...) {
        return false;
    }
}

XmlNode* XmlFile::CreateNode(rapidxml::node_type kind, const wchar_t* name, const wchar_t* value) {
    try {
        wchar_t* nameCopy = name ? CopyString(name) : nullptr;
        wchar_t* valueCopy = value ? CopyString(value) : nullptr;
        if ((name && !nameCopy) || (value && !valueCopy)) return nullptr;
        XmlNode* node = document_->allocate_node(kind);
        allocated_ += sizeof(XmlNode);
        if (nameCopy) node->name(nameCopy);
        if (valueCopy) node->value(valueCopy);
        return node;
    } catch (...) {
        return nullptr;
    }
}

wchar_t* XmlFile::CopyString(std::wstring_view text) {
    try {
        wchar_t* copy = PoolCopy(*document_, text.data(), text.size());
        allocated_ += (text.size() + 1) * sizeof(wchar_t);
        return copy;
    } catch (...) {
        return nullptr;
    }
}

void XmlFile::Clear() {
    document_->clear();
    text_.clear();
    allocated_ = 0;
}

bool XmlFile::Compact() {
    try {
        auto fresh = std::make_unique<XmlDocument>();
        for (const XmlNode* node = document_->first_node(); node; node = node->next_sibling())
            fresh->append_node(CopyTree(*fresh, *node));
        document_ = std::move(fresh);
        text_.clear();
        text_.shrink_to_fit();
        allocated_ = 0;
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace mv::userdata
