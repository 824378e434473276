#pragma once

#include <string>

#include "platform/Text.h"

namespace qingtong {

// The folder that holds Config.ini, userList.txt and (by default) the recordings:
//   `requested` (UTF-8, from --dir) when not empty;
//   else the folder of the running executable when it is writable;
//   else $XDG_DATA_HOME/qingtong, or ~/.local/share/qingtong.
// The folder is created when missing. Returned in GBK without a trailing "/";
// "" when no such folder can be had.
Text resolveRunDirectory(const std::string& requested = {});

// Folder of the running executable (GBK), "" when unknown.
Text executableDirectory();

} // namespace qingtong
