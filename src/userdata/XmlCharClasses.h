#pragma once
// Character classes of the wide-character parser. RapidXML looks every unit
// up by its low byte, so U+4E3C would count as '<' and U+4E20 as a space.
// Here every unit above 0xFF counts as the letter z, an ordinary name and
// text character; units up to 0xFF keep their own class. Numeric character
// references are written as UTF-16 units rather than as UTF-8 bytes, one
// byte per unit, which would corrupt every character above U+007F.
//
// These are explicit specialisations of the parser's members for wchar_t:
// they must be seen before anything parses a wide document, so include
// this header, never rapidxml.hpp alone, wherever the wide parser is used.
#include <rapidxml.hpp>

namespace rapidxml {

namespace mv_classes {

inline unsigned char ClassIndex(wchar_t ch) {
    return ch > 0xFF ? static_cast<unsigned char>('z') : static_cast<unsigned char>(ch);
}

}  // namespace mv_classes

template <>
struct xml_document<wchar_t>::whitespace_pred {
    static unsigned char test(wchar_t ch) {
        return internal::lookup_tables<0>::lookup_whitespace[mv_classes::ClassIndex(ch)];
    }
};

template <>
struct xml_document<wchar_t>::node_name_pred {
    static unsigned char test(wchar_t ch) {
        return internal::lookup_tables<0>::lookup_node_name[mv_classes::ClassIndex(ch)];
    }
};

template <>
struct xml_document<wchar_t>::attribute_name_pred {
    static unsigned char test(wchar_t ch) {
        return internal::lookup_tables<0>::lookup_attribute_name[mv_classes::ClassIndex(ch)];
    }
};

template <>
struct xml_document<wchar_t>::text_pred {
    static unsigned char test(wchar_t ch) {
        return internal::lookup_tables<0>::lookup_text[mv_classes::ClassIndex(ch)];
    }
};

template <>
struct xml_document<wchar_t>::text_pure_no_ws_pred {
    static unsigned char test(wchar_t ch) {
        return internal::lookup_tables<0>::lookup_text_pure_no_ws[mv_classes::ClassIndex(ch)];
    }
};

template <>
struct xml_document<wchar_t>::text_pure_with_ws_pred {
    static unsigned char test(wchar_t ch) {
        return internal::lookup_tables<0>::lookup_text_pure_with_ws[mv_classes::ClassIndex(ch)];
    }
};

template <>
template <wchar_t Quote>
struct xml_document<wchar_t>::attribute_value_pred {
    static unsigned char test(wchar_t ch) {
        if (Quote == L'\'') return internal::lookup_tables<0>::lookup_attribute_data_1[mv_classes::ClassIndex(ch)];
        return internal::lookup_tables<0>::lookup_attribute_data_2[mv_classes::ClassIndex(ch)];
    }
};

template <>
template <wchar_t Quote>
struct xml_document<wchar_t>::attribute_value_pure_pred {
    static unsigned char test(wchar_t ch) {
        if (Quote == L'\'')
            return internal::lookup_tables<0>::lookup_attribute_data_1_pure[mv_classes::ClassIndex(ch)];
        return internal::lookup_tables<0>::lookup_attribute_data_2_pure[mv_classes::ClassIndex(ch)];
    }
};

// The store parses with parse_full only (attributes use the same flags,
// since parse_full does not normalise whitespace). A reference takes at
// least four units ("&#0;"), so the one or two units written never overrun
// the text they replace. A reference to NUL is dropped: a NUL inside a value
// would end it early wherever the text is read up to its terminator.
template <>
template <>
inline void xml_document<wchar_t>::insert_coded_character<parse_full>(wchar_t*& text, unsigned long code) {
    if (code == 0) return;
    if (code < 0x10000) {
        *text++ = static_cast<wchar_t>(code);
    } else if (code < 0x110000) {
        code -= 0x10000;
        *text++ = static_cast<wchar_t>(0xD800 + (code >> 10));
        *text++ = static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
        throw parse_error("invalid numeric character entity", text);
    }
}

}  // namespace rapidxml
