#include "facts/ControlFilePath.h"

#include <string>

#include "client/ControlDirectory.h"

namespace mv::facts {

bool ControlFilePath(std::wstring_view name, win::PathBuffer& path) {
    const std::wstring directory = client::ControlDirectory();
    if (directory.empty()) return false;
    return path.Assign(directory) && path.Append(name);
}

}  // namespace mv::facts
