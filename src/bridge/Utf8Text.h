#pragma once
// UTF-8 (the messages) to UTF-16 (the control) and back.
#include <string>
#include <string_view>

namespace mv::bridge {

// False for bytes that are not UTF-8: nothing is guessed.
bool WideFromUtf8(std::string_view utf8, std::wstring& wide);
// Unpaired surrogates become U+FFFD: JSON text must be valid UTF-8.
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace mv::bridge
