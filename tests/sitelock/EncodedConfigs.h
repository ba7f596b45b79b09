#pragma once
// One mivo.cfg that locks the installation to https://example.com, in each
// encoding the lock reads and in bytes it must refuse: every road is tried
// with the whole table.
#include <string>
#include <vector>

namespace mv::test {

struct EncodedConfig {
    const char* name;
    std::string bytes;
    // How the lock names it, up to its length; null: refused as unreadable.
    const wchar_t* encoding;
};

inline std::string Utf16Of(const std::string& ascii, bool bigEndian) {
    std::string bytes;
    for (const char c : ascii) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return bytes;
}

inline std::vector<EncodedConfig> EncodedConfigs() {
    const std::string text = "[channel]\r\nnum=7\r\n[sitelock]\r\nhttps://example.com\r\n";
    return {
        {"UTF-8", text, L"UTF-8"},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + text, L"UTF-8 with a byte order mark"},
        {"UTF-16LE with FF FE", "\xFF\xFE" + Utf16Of(text, false), L"UTF-16LE"},
        {"UTF-16BE with FE FF", "\xFE\xFF" + Utf16Of(text, true), L"UTF-16BE"},
        {"ANSI", "; caf\xE9\r\n" + text, L"ANSI"},
        {"UTF-16LE without a mark", Utf16Of(text, false), nullptr},
        {"UTF-16BE without a mark", Utf16Of(text, true), nullptr},
        {"a NUL in UTF-8 text", "[channel]\r\nnum=7\r\n" + std::string(1, '\0') + text.substr(18), nullptr},
        {"UTF-16BE cut in a unit", "\xFE\xFF" + Utf16Of(text, true) + "\n", nullptr},
    };
}

}  // namespace mv::test
