#include "client/CommandVerbs.h"

#include "client/ClientLauncher.h"

namespace mv::client {

// Filled in with the command vocabulary.
std::wstring DownloadCommand(long, long, long) { return std::wstring(); }
std::wstring DetailPageCommand(const wchar_t*) { return std::wstring(); }
std::wstring OnlinePlayCommand(const wchar_t*) { return std::wstring(); }
std::wstring RawCommand(const wchar_t*) { return std::wstring(); }

void StartVerb() {}
void DownloadVerb(long, long, long) {}
void DetailPageVerb(const wchar_t*) {}
void OnlinePlayVerb(const wchar_t*) {}
void RunPlayerVerb(const wchar_t*) {}

}  // namespace mv::client
