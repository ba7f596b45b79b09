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

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// A virus scanner or indexer may hold the old file for a moment.
bool ReplaceWith(const std::wstring& temp, const wchar_t* path) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::MoveFileExW(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) break;
        ::Sleep(20);
    }
    return false;
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

// Node by node: printing the document node itself would add a line feed
// of its own after the last one, an empty last line in the file.
std::wstring XmlFile::Print() const {
    std::wstring out;
    for (const XmlNode* node = document_->first_node(); node; node = node->next_sibling())
        rapidxml::print(std::back_inserter(out), *node, kPrintFlags);
    return out;
}

bool XmlFile::SaveFile(const wchar_t* path) const {
    try {
        const std::wstring text = Print();
        return WriteFileBytes(path, WideToUtf8(text.data(), static_cast<int>(text.size())));
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
