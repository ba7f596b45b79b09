#include "bridge/Utf8Text.h"

#include "win/MultiByteText.h"

namespace mv::bridge {

bool WideFromUtf8(std::string_view utf8, std::wstring& wide) {
    return win::WideFromMultiByte(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, wide);
}

std::string Utf8FromWide(std::wstring_view wide) {
    std::string out;
    out.reserve(wide.size());
    auto put = [&out](char32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    // Done by hand: the platform's replacement of unpaired surrogates differs
    // between systems, and the answer must be the same everywhere.
    for (size_t i = 0; i < wide.size(); ++i) {
        const char32_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            put(0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(wide[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            put(0xFFFD);
        } else {
            put(unit);
        }
    }
    return out;
}

}  // namespace mv::bridge
