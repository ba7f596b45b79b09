#include "userdata/UserDataStore.h"

namespace mv::userdata {

// Filled in with the store.
std::wstring UserDataStore::ReadValue(const wchar_t*) { return std::wstring(); }
void UserDataStore::WriteValue(const wchar_t*, const wchar_t*) {}

UserDataStore& GetUserDataStore() {
    static UserDataStore store;
    return store;
}

}  // namespace mv::userdata
