#pragma once
#include <string>

namespace mv::client {

inline constexpr wchar_t kStartCommand[] = L"/js";

// The command texts; a null text counts as empty, and a text ends at its first NUL.
std::wstring DownloadCommand(long pid, long vid, long playlistid);
std::wstring DetailPageCommand(const wchar_t* url);
std::wstring OnlinePlayCommand(const wchar_t* url);
std::wstring RawCommand(const wchar_t* url);

// One operation per verb: builds its text and hands it to ClientLauncher.
void StartVerb();
void DownloadVerb(long pid, long vid, long playlistid);
void DetailPageVerb(const wchar_t* url);
void OnlinePlayVerb(const wchar_t* url);
void RunPlayerVerb(const wchar_t* url);

}  // namespace mv::client
