// The few calls that differ between operating systems.
#pragma once

#include <string>

namespace coffhex {

// True when the two names lead to the same file (the same name, or the same
// file reached by another name).
bool same_file(const std::string& a, const std::string& b);

}  // namespace coffhex
