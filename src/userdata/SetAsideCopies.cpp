#include "userdata/SetAsideCopies.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <utility>
#include <vector>

#include "win/UniqueHandle.h"

namespace mv::userdata {

namespace {

constexpr wchar_t kSuffix[] = L".bad";
constexpr size_t kMostDigits = 9;

// The kept copies of `path`, oldest first: number and full path. Names that
// only look alike (another suffix, letters) are not ours and stay.
std::vector<std::pair<unsigned long, std::wstring>> KeptCopies(const std::wstring& path) {
    const std::wstring base = path + kSuffix;
    const size_t slash = base.find_last_of(L'\\');
    const std::wstring folder = base.substr(0, slash + 1);
    const std::wstring stem = base.substr(slash + 1);
    std::vector<std::pair<unsigned long, std::wstring>> kept;
    WIN32_FIND_DATAW found{};
    win::unique_find_handle find(::FindFirstFileW((base + L"*").c_str(), &found));
    if (!find) return kept;
    do {
        const wchar_t* name = found.cFileName;
        if (_wcsnicmp(name, stem.c_str(), stem.size()) != 0) continue;
        const wchar_t* digits = name + stem.size();
        const size_t count = wcslen(digits);
        if (count > kMostDigits || !std::all_of(digits, digits + count, [](wchar_t c) { return iswdigit(c); }))
            continue;
        kept.emplace_back(count ? wcstoul(digits, nullptr, 10) : 1, folder + name);
    } while (::FindNextFileW(find.get(), &found));
    std::sort(kept.begin(), kept.end());
    return kept;
}

}  // namespace

bool SetAsideCopy(const std::wstring& path) {
    const auto kept = KeptCopies(path);
    const unsigned long next = kept.empty() ? 1 : kept.back().first + 1;
    const std::wstring aside = path + kSuffix + (next == 1 ? std::wstring() : std::to_wstring(next));
    if (!::MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH) &&
        !::CopyFileW(path.c_str(), aside.c_str(), TRUE))
        return false;
    for (size_t i = 0; i + kSetAsideCopiesKept < kept.size() + 1; ++i) ::DeleteFileW(kept[i].second.c_str());
    return true;
}

}  // namespace mv::userdata
