#include "userdata/XmlNesting.h"

#include <cwchar>

#include "userdata/XmlCharClasses.h"

namespace mv::userdata {

namespace {

using Tables = rapidxml::internal::lookup_tables<0>;

bool IsBlank(wchar_t c) { return Tables::lookup_whitespace[rapidxml::mv_classes::ClassIndex(c)]; }
bool IsNameUnit(wchar_t c) { return Tables::lookup_node_name[rapidxml::mv_classes::ClassIndex(c)]; }
bool IsAttributeNameUnit(wchar_t c) { return Tables::lookup_attribute_name[rapidxml::mv_classes::ClassIndex(c)]; }

const wchar_t* SkipBlanks(const wchar_t* p) {
    while (IsBlank(*p)) ++p;
    return p;
}

// Past the end marker, or null when the text ends first.
const wchar_t* PastMarker(const wchar_t* p, const wchar_t* marker) {
    const wchar_t* at = wcsstr(p, marker);
    return at ? at + wcslen(marker) : nullptr;
}

// Name="value" pairs as the parser reads them: a value ends only at its own
// quote. Null when the parser would fail.
const wchar_t* PastAttributes(const wchar_t* p) {
    while (IsAttributeNameUnit(*p)) {
        while (IsAttributeNameUnit(*p)) ++p;
        p = SkipBlanks(p);
        if (*p != L'=') return nullptr;
        p = SkipBlanks(p + 1);
        const wchar_t quote = *p;
        if (quote != L'"' && quote != L'\'') return nullptr;
        p = wcschr(p + 1, quote);
        if (!p) return nullptr;
        p = SkipBlanks(p + 1);
    }
    return p;
}

// After "<!DOCTYPE ": up to its '>', where brackets nest and hide '>'.
const wchar_t* PastDoctype(const wchar_t* p) {
    while (*p != L'>') {
        if (!*p) return nullptr;
        if (*p++ != L'[') continue;
        for (int brackets = 1; brackets > 0; ++p) {
            if (!*p) return nullptr;
            if (*p == L'[') ++brackets;
            if (*p == L']') --brackets;
        }
    }
    return p + 1;
}

// After "<?": a declaration holds attributes, any other instruction is
// raw text up to "?>".
const wchar_t* PastInstruction(const wchar_t* p) {
    if ((p[0] == L'x' || p[0] == L'X') && (p[1] == L'm' || p[1] == L'M') && (p[2] == L'l' || p[2] == L'L') &&
        IsBlank(p[3])) {
        p = PastAttributes(SkipBlanks(p + 4));
        return p && p[0] == L'?' && p[1] == L'>' ? p + 2 : nullptr;
    }
    if (!IsNameUnit(*p)) return nullptr;
    return PastMarker(p, L"?>");
}

// After "<!".
const wchar_t* PastDeclaration(const wchar_t* p) {
    if (wcsncmp(p, L"!--", 3) == 0) return PastMarker(p + 3, L"-->");
    if (wcsncmp(p, L"![CDATA[", 8) == 0) return PastMarker(p + 8, L"]]>");
    if (wcsncmp(p, L"!DOCTYPE", 8) == 0 && IsBlank(p[8])) return PastDoctype(p + 9);
    const wchar_t* end = wcschr(p + 1, L'>');
    return end ? end + 1 : nullptr;
}

}  // namespace

bool NestsDeeperThan(const wchar_t* text, int limit) {
    int depth = 0;
    // Between tags only '<' starts markup: references and every other
    // character are text, whatever they expand to.
    for (const wchar_t* p = wcschr(text, L'<'); p; p = p ? wcschr(p, L'<') : nullptr) {
        ++p;
        if (*p == L'/') {
            // A name may hold '<': skip it as the parser does.
            if (--depth < 0) return false;
            for (++p; IsNameUnit(*p); ++p) {
            }
            p = SkipBlanks(p);
            if (*p++ != L'>') return false;
        } else if (*p == L'?') {
            p = PastInstruction(p + 1);
        } else if (*p == L'!') {
            p = PastDeclaration(p);
        } else {
            if (!IsNameUnit(*p)) return false;
            while (IsNameUnit(*p)) ++p;
            p = PastAttributes(SkipBlanks(p));
            if (!p) return false;
            if (*p == L'>') {
                if (++depth > limit) return true;
                ++p;
            } else if (p[0] == L'/' && p[1] == L'>') {
                p += 2;
            } else {
                return false;
            }
        }
    }
    return false;
}

}  // namespace mv::userdata
