// Placeholder until the file-name helpers are built.
#include "image/filename.h"

namespace coffhex {
PathParts split_path(const char*) { return {}; }
void set_extension(std::string&, const char*, bool) {}
}  // namespace coffhex
