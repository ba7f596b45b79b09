#pragma once
#include <string>

namespace mv::userdata {

// The process's key/value store, kept in UserData.xml.
class UserDataStore {
public:
    std::wstring ReadValue(const wchar_t* key);
    void WriteValue(const wchar_t* key, const wchar_t* value);
};

// The one store of the process, made at the first call.
UserDataStore& GetUserDataStore();

}  // namespace mv::userdata
