#include "server/SideBySide.h"

#include <cwchar>
#include <cwctype>
#include <vector>

#include "MVDetectorAX_h.h"
#include "win/UniqueHandle.h"

namespace mv::server {

namespace {

#ifdef _WIN64
// Windows keeps the 32-bit view's class keys below Wow6432Node of the same
// classes key, the machine's and the user's alike. The path is named rather
// than reached with KEY_WOW64_32KEY: Wine does not redirect the user's classes
// key at all, and would show this view's own keys instead.
constexpr wchar_t kOtherViewClassIds[] = L"Software\\Classes\\Wow6432Node\\CLSID\\";
constexpr REGSAM kOtherView = 0;
bool HasOtherView() noexcept { return true; }
#else
constexpr wchar_t kOtherViewClassIds[] = L"Software\\Classes\\CLSID\\";
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
bool HasOtherView() noexcept {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}
#endif

struct Token {
    size_t begin;
    size_t end;
    bool quoted;
};

// The script's words: quoted strings ('' inside one stands for ') and runs
// of anything but white space. A class id written as a key name starts with
// "{" but is a word of its own, not a block.
std::vector<Token> Tokens(const std::wstring& text) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < text.size()) {
        if (std::iswspace(text[i])) {
            ++i;
            continue;
        }
        const size_t begin = i;
        if (text[i] == L'\'') {
            for (++i; i < text.size(); ++i) {
                if (text[i] != L'\'') continue;
                if (i + 1 < text.size() && text[i + 1] == L'\'') {
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
            tokens.push_back({begin, i, true});
        } else {
            while (i < text.size() && !std::iswspace(text[i])) ++i;
            tokens.push_back({begin, i, false});
        }
    }
    return tokens;
}

bool Is(const std::wstring& text, const Token& token, const wchar_t* word) {
    return !token.quoted && ::CompareStringOrdinal(text.c_str() + token.begin, static_cast<int>(token.end - token.begin),
                                                   word, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool OtherViewRegistersClass(bool perUser, const std::wstring& ownModulePath) noexcept {
    if (!HasOtherView()) return false;
    wchar_t clsid[40] = {};
    if (!::StringFromGUID2(CLSID_MVDetectorCOM, clsid, 40)) return false;
    const std::wstring path = std::wstring(kOtherViewClassIds) + clsid + L"\\InprocServer32";
    win::unique_hkey key;
    if (::RegOpenKeyExW(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path.c_str(), 0,
                        KEY_QUERY_VALUE | kOtherView, key.put()) != ERROR_SUCCESS)
        return false;
    std::wstring server(32768, L'\0');
    DWORD bytes = static_cast<DWORD>(server.size() * sizeof(wchar_t));
    if (::RegGetValueW(key.get(), nullptr, nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                       server.data(), &bytes) != ERROR_SUCCESS)
        return false;
    server.resize(::wcslen(server.c_str()));
    // Where the two views are one key (Wine's user classes), the server found
    // is this module itself.
    return !server.empty() && ::CompareStringOrdinal(server.c_str(), -1, ownModulePath.c_str(), -1, TRUE) != CSTR_EQUAL;
}

std::wstring ClassIdOnlyScript(const std::wstring& script) {
    const std::vector<Token> tokens = Tokens(script);
    for (size_t i = 0; i + 2 < tokens.size(); ++i) {
        if (!Is(script, tokens[i], L"NoRemove") || !Is(script, tokens[i + 1], L"CLSID") ||
            !Is(script, tokens[i + 2], L"{"))
            continue;
        int depth = 0;
        for (size_t j = i + 2; j < tokens.size(); ++j) {
            if (Is(script, tokens[j], L"{")) ++depth;
            if (Is(script, tokens[j], L"}") && --depth == 0)
                return L"HKCR\r\n{\r\n" + script.substr(tokens[i].begin, tokens[j].end - tokens[i].begin) + L"\r\n}\r\n";
        }
        return std::wstring();
    }
    return std::wstring();
}

}  // namespace mv::server
