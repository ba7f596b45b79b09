#pragma once
// Store files that could not be used, kept beside the store: they may hold
// the user's only copy of every value.
#include <cstddef>
#include <string>

namespace mv::userdata {

// Copies kept at most; older ones are removed first.
inline constexpr size_t kSetAsideCopiesKept = 5;

// Moves (or, when it cannot be moved, copies) the file at `path` to a name of
// its own: `path` + ".bad" for the first, then ".bad2", ".bad3" and on, so
// that no kept copy is ever written over. False when no copy was made.
bool SetAsideCopy(const std::wstring& path);

}  // namespace mv::userdata
