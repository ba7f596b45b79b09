#include "RegistrationChecks.h"

#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "win/UniqueHandle.h"

namespace mv::test {

namespace {

constexpr wchar_t kClsid[] = L"{B7E836F8-119E-4BB7-B12B-34ACC461DB9F}";
constexpr wchar_t kAppId[] = L"{EFBD3336-BD5D-4DF5-A027-5AF9C7DA62A2}";
constexpr wchar_t kClassName[] = L"MVDetectorCOM Class";

struct ExpectedKey {
    std::wstring path;
    std::map<std::wstring, std::wstring> values;  // "" is the default value
    std::set<std::wstring> subkeys;
};

std::vector<ExpectedKey> ScriptedKeys(const std::wstring& modulePath) {
    const std::wstring cls = kClassKey;
    return {
        {kAppIdKey, {{L"", L"MVDetectorAX"}}, {}},
        {kAppIdModuleKey, {{L"AppID", kAppId}}, {}},
        {kVersionedProgId, {{L"", kClassName}}, {L"CLSID"}},
        {std::wstring(kVersionedProgId) + L"\\CLSID", {{L"", kClsid}}, {}},
        {kProgId, {{L"", kClassName}}, {L"CLSID", L"CurVer"}},
        {std::wstring(kProgId) + L"\\CLSID", {{L"", kClsid}}, {}},
        {std::wstring(kProgId) + L"\\CurVer", {{L"", kVersionedProgId}}, {}},
        {cls,
         {{L"", kClassName}},
         {L"ProgID", L"VersionIndependentProgID", L"Programmable", L"InprocServer32", L"TypeLib"}},
        {cls + L"\\ProgID", {{L"", kVersionedProgId}}, {}},
        {cls + L"\\VersionIndependentProgID", {{L"", kProgId}}, {}},
        {cls + L"\\Programmable", {}, {}},
        {cls + L"\\InprocServer32", {{L"", modulePath}, {L"ThreadingModel", L"Apartment"}}, {}},
        {cls + L"\\TypeLib", {{L"", kLibId}}, {}},
    };
}

std::string Narrow(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

win::unique_hkey OpenKey(HKEY root, const std::wstring& path) {
    win::unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

// Every value of a key as text; a value that is not REG_SZ is marked.
std::map<std::wstring, std::wstring> StringValues(HKEY key) {
    std::map<std::wstring, std::wstring> values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[2048] = {};
        DWORD dataSize = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        if (::RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        values[name] = type == REG_SZ ? std::wstring(reinterpret_cast<const wchar_t*>(data))
                                      : L"<type " + std::to_wstring(type) + L">";
    }
    return values;
}

std::wstring Describe(const std::map<std::wstring, std::wstring>& values) {
    std::wstring text;
    for (const auto& [name, value] : values) text += L" [" + (name.empty() ? L"@" : name) + L"=" + value + L"]";
    return text.empty() ? L" (none)" : text;
}

std::wstring Describe(const std::set<std::wstring>& names) {
    std::wstring text;
    for (const auto& name : names) text += L" " + name;
    return text.empty() ? L" (none)" : text;
}

void DeleteRegistration(ClassesRoot root) {
    const std::wstring typeLib = std::wstring(L"TypeLib\\") + kLibId;
    for (const std::wstring& below : {std::wstring(kClassKey), std::wstring(kAppIdKey), std::wstring(kAppIdModuleKey),
                                     std::wstring(kProgId), std::wstring(kVersionedProgId), typeLib,
                                     std::wstring(kInterfaceKey), std::wstring(kWow64View) + kClassKey,
                                     std::wstring(kWow64View) + kInterfaceKey})
        ::RegDeleteTreeW(RootKey(root), ClassesPath(below).c_str());
}

}  // namespace

const wchar_t* RootName(ClassesRoot root) {
    return root == ClassesRoot::Machine ? L"HKLM\\Software\\Classes" : L"HKCU\\Software\\Classes";
}

HKEY RootKey(ClassesRoot root) { return root == ClassesRoot::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

std::wstring ClassesPath(const std::wstring& below) { return L"Software\\Classes\\" + below; }

bool KeyExists(HKEY root, const std::wstring& path) { return static_cast<bool>(OpenKey(root, path)); }

std::wstring DescribeTree(HKEY root, const std::wstring& path) {
    const win::unique_hkey key = OpenKey(root, path);
    if (!key) return L"";
    std::wstring text = path + Describe(StringValues(key.get())) + L"\n";
    for (const auto& name : SubkeyNames(root, path)) text += DescribeTree(root, path + L"\\" + name);
    return text;
}

std::set<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
    std::set<std::wstring> names;
    const win::unique_hkey key = OpenKey(root, path);
    if (!key) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.insert(name);
    }
    return names;
}

::testing::AssertionResult HoldsRegistration(ClassesRoot root, const std::wstring& modulePath) {
    std::wstring problems;
    for (const ExpectedKey& expected : ScriptedKeys(modulePath)) {
        const std::wstring path = ClassesPath(expected.path);
        const win::unique_hkey key = OpenKey(RootKey(root), path);
        if (!key) {
            problems += L"\n  missing " + expected.path;
            continue;
        }
        const auto values = StringValues(key.get());
        if (values != expected.values)
            problems += L"\n  " + expected.path + L" values" + Describe(values) + L", expected" +
                        Describe(expected.values);
        const auto subkeys = SubkeyNames(RootKey(root), path);
        if (subkeys != expected.subkeys)
            problems += L"\n  " + expected.path + L" subkeys" + Describe(subkeys) + L", expected" +
                        Describe(expected.subkeys);
    }
    if (problems.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "under " << Narrow(RootName(root)) << ":" << Narrow(problems);
}

::testing::AssertionResult HoldsNoRegistration(ClassesRoot root) {
    std::wstring problems;
    for (const wchar_t* below : {kAppIdKey, kAppIdModuleKey, kVersionedProgId, kProgId, kClassKey})
        if (KeyExists(RootKey(root), ClassesPath(below))) problems += L"\n  still there: " + std::wstring(below);
    for (const wchar_t* kept : {L"CLSID", L"AppID"})
        if (!KeyExists(RootKey(root), ClassesPath(kept))) problems += L"\n  removed: " + std::wstring(kept);
    if (problems.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "under " << Narrow(RootName(root)) << ":" << Narrow(problems);
}

std::optional<std::wstring> RegisteredTypeLibPath(ClassesRoot root) {
    const win::unique_hkey key =
        OpenKey(RootKey(root), ClassesPath(std::wstring(L"TypeLib\\") + kLibId + L"\\1.0\\0\\" + kBuildSysKindKey));
    if (!key) return std::nullopt;
    const auto values = StringValues(key.get());
    const auto found = values.find(L"");
    if (found == values.end()) return std::nullopt;
    return found->second;
}

DWORD RunProgram(const std::wstring& commandLine, std::string* output) {
    ScopedTempDir dir(L"mvrun");
    const std::wstring outputPath = dir.Child(L"output.txt");
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    // A file, not a pipe: helper processes that Wine starts may inherit the
    // handle and would hold a pipe open for ever.
    win::unique_file out(::CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) throw std::runtime_error("cannot create the output file");

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out.get();
    startup.hStdError = out.get();
    std::wstring mutableLine = commandLine;
    win::unique_process_information process;
    if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          process.put()))
        throw std::runtime_error("cannot start " + Narrow(commandLine));
    // A bound so that a hung tool fails the test rather than the whole run.
    if (::WaitForSingleObject(process.get().hProcess, 120000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get().hProcess, 99);
        throw std::runtime_error("did not end: " + Narrow(commandLine));
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.get().hProcess, &code);
    out.reset();
    if (output) *output = ReadFileBytes(outputPath);
    return code;
}

DWORD Regsvr32(const std::wstring& options, const std::wstring& dll) {
    return RunProgram(L"regsvr32.exe " + options + L" \"" + (dll.empty() ? ControlDllPath() : dll) + L"\"");
}

RegistrationSandbox::RegistrationSandbox()
    : userClsidExisted_(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID")),
      userAppIdExisted_(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\AppID")) {
    DeleteRegistration(ClassesRoot::Machine);
    DeleteRegistration(ClassesRoot::User);
}

RegistrationSandbox::~RegistrationSandbox() {
    DeleteRegistration(ClassesRoot::Machine);
    DeleteRegistration(ClassesRoot::User);
    // Deleting fails while a key has subkeys: only empty ones we made go.
    if (!userClsidExisted_) ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID");
    if (!userAppIdExisted_) ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\AppID");
}

LoadedControl::LoadedControl() {
    // Loaded afresh, so that the per-user switch of an earlier test is gone.
    if (::GetModuleHandleW(ControlDllPath().c_str())) throw std::runtime_error("the control is still loaded");
    module_ = ::LoadLibraryW(ControlDllPath().c_str());
    if (!module_) throw std::runtime_error("cannot load the control");
    reg_ = reinterpret_cast<decltype(reg_)>(::GetProcAddress(module_, "DllRegisterServer"));
    unreg_ = reinterpret_cast<decltype(unreg_)>(::GetProcAddress(module_, "DllUnregisterServer"));
    install_ = reinterpret_cast<decltype(install_)>(::GetProcAddress(module_, "DllInstall"));
    if (!reg_ || !unreg_ || !install_) {
        ::FreeLibrary(module_);
        throw std::runtime_error("the control lacks a registration export");
    }
}

LoadedControl::~LoadedControl() {
    ::FreeLibrary(module_);
    EXPECT_EQ(nullptr, ::GetModuleHandleW(ControlDllPath().c_str())) << "the control stays loaded";
}

}  // namespace mv::test
