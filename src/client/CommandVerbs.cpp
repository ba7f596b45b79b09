#include "client/CommandVerbs.h"

#include <string>

#include "client/ClientLauncher.h"
#include "win/PathBuffer.h"

namespace mv::client {

namespace {

std::wstring TextUpToNul(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

}  // namespace

std::wstring DownloadCommand(long pid, long vid, long playlistid) {
    // to_wstring writes "%ld": ASCII digits, a minus sign only, no grouping.
    return L"\\download=" + std::to_wstring(pid) + L"," + std::to_wstring(vid) + L"," + std::to_wstring(playlistid);
}

std::wstring DetailPageCommand(const wchar_t* url) { return L"\\DetailPage=" + TextUpToNul(url); }

std::wstring OnlinePlayCommand(const wchar_t* url) { return L"\\OnlinePlay=" + TextUpToNul(url); }

std::wstring RawCommand(const wchar_t* url) { return TextUpToNul(url); }

void StartVerb() {
    win::PathBuffer command;
    command.Assign(kStartCommand);
    ClientLauncher(command.c_str(), true);
}

void DownloadVerb(long pid, long vid, long playlistid) {
    ClientLauncher(DownloadCommand(pid, vid, playlistid).c_str(), false);
}

void DetailPageVerb(const wchar_t* url) { ClientLauncher(DetailPageCommand(url).c_str(), false); }

void OnlinePlayVerb(const wchar_t* url) { ClientLauncher(OnlinePlayCommand(url).c_str(), false); }

void RunPlayerVerb(const wchar_t* url) { ClientLauncher(RawCommand(url).c_str(), false); }

}  // namespace mv::client
