#pragma once
// Real shortcut files on the sandbox desktop, removed when the test ends.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace mv::test {

inline std::wstring DesktopDir() {
    wchar_t path[MAX_PATH] = {};
    EXPECT_TRUE(::SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOP, TRUE));
    return path;
}

inline void SaveShortcut(const std::wstring& file, const std::wstring& target, const std::wstring& arguments) {
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       reinterpret_cast<void**>(link.GetAddressOf())));
    ASSERT_TRUE(SUCCEEDED(link->SetPath(target.c_str())));
    ASSERT_EQ(S_OK, link->SetArguments(arguments.c_str()));
    Microsoft::WRL::ComPtr<IPersistFile> persist;
    ASSERT_EQ(S_OK, link.As(&persist));
    ASSERT_EQ(S_OK, persist->Save(file.c_str(), TRUE));
}

class DesktopShortcuts {
public:
    DesktopShortcuts() : desktop_(DesktopDir()) {}
    ~DesktopShortcuts() {
        for (const auto& path : made_) RemoveTree(path);
    }
    DesktopShortcuts(const DesktopShortcuts&) = delete;
    DesktopShortcuts& operator=(const DesktopShortcuts&) = delete;

    const std::wstring& dir() const { return desktop_; }

    // Saves `name` on the desktop (or under `sub`, a folder of it).
    std::wstring Add(const std::wstring& name, const std::wstring& target, const std::wstring& arguments,
                     const std::wstring& sub = L"") {
        std::wstring folder = desktop_;
        if (!sub.empty()) {
            folder += L"\\" + sub;
            ::CreateDirectoryW(folder.c_str(), nullptr);
            Track(folder);
        }
        // The shell only writes names ending in .lnk: others are renamed after.
        const std::wstring saved = folder + L"\\mvtest-saving.lnk";
        SaveShortcut(saved, target, arguments);
        const std::wstring path = folder + L"\\" + name;
        if (path != saved) {
            EXPECT_TRUE(::MoveFileExW(saved.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        }
        Track(path);
        return path;
    }

    void Track(const std::wstring& path) { made_.push_back(path); }

private:
    std::wstring desktop_;
    std::vector<std::wstring> made_;
};

}  // namespace mv::test
