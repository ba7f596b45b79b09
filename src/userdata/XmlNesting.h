#pragma once
// How deep the store's parser would nest elements in a text, found without
// recursion: the parser descends one call per level, so a text nested deep
// enough would exhaust the stack of the page's thread.
namespace mv::userdata {

// True when parsing `text` with the store's flags would open more than
// `limit` elements inside one another. The text is read as the parser reads
// it, so markup characters inside text, attribute values, comments, CDATA,
// processing instructions or a DOCTYPE's internal subset count for nothing.
// Where the parser would stop with an error first, the answer is false.
bool NestsDeeperThan(const wchar_t* text, int limit);

}  // namespace mv::userdata
