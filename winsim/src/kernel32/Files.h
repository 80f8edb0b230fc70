// What the file functions offer the libraries that build on them.
#pragma once

#include <string>

#include "core/Call.h"

namespace winsim {

// The attributes of the file or folder at `path` as GetFileAttributes reads them, with its
// fault and its errors; INVALID_FILE_ATTRIBUTES when it fails.
DWORD file_attributes(Call &call, const std::string &path);

}  // namespace winsim
