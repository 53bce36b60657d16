// File-name helpers: split a path, give a name an extension. Both accept
// "\\" and "/" as directory separators on every platform.
#pragma once

#include <string>

namespace coffhex {

struct PathParts {
    std::string directory;  // up to and including the last separator, "/" turned into "\\"
    std::string base;       // without directory and last extension
    std::string extension;  // after the last ".", without it
};

// Each part is cut to 499 characters.
PathParts split_path(const char* path);

// Gives `name` an extension; with `replace` an existing one is replaced.
void set_extension(std::string& name, const char* extension, bool replace);

}  // namespace coffhex
