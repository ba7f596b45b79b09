#pragma once
// Nesting depth of JSON text, measured before it is parsed: a parsed value
// nested thousands deep is freed and printed recursively and would overflow
// the stack.
#include <string_view>

namespace mv::bridge {

// True when no array or object in `text` lies deeper than `limit`. Brackets
// inside strings do not count; text that is not JSON may pass and is then
// refused by the parser.
bool NestingWithin(std::string_view text, int limit) noexcept;

}  // namespace mv::bridge
