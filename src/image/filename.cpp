// File-name helpers. The separators are the same on every platform ("\\"
// and "/", plus ":" for a drive in the splitter), so names written for
// another system split the same way here.
#include "image/filename.h"

#include <cstring>

namespace coffhex {

namespace {

// Longest part that split_path gives back.
constexpr size_t PART_LIMIT = 499;

bool is_dir_separator(char c) { return c == '\\' || c == '/'; }

std::string cut(const char* text, size_t length) {
    return std::string(text, length < PART_LIMIT ? length : PART_LIMIT);
}

}  // namespace

PathParts split_path(const char* path) {
    PathParts parts;
    if (path == nullptr || *path == '\0') return parts;

    const size_t length = std::strlen(path);
    size_t name_start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (is_dir_separator(path[i]) || path[i] == ':') name_start = i + 1;
    }

    parts.directory = cut(path, name_start);
    for (char& c : parts.directory) {
        if (c == '/') c = '\\';
    }

    const char* name = path + name_start;
    const size_t name_length = length - name_start;
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr) {
        parts.base = cut(name, name_length);
        return parts;
    }
    const size_t dot_pos = static_cast<size_t>(dot - name);
    if (dot_pos + 1 == name_length) {
        // A name ending in "." has no extension; the "." stays in the base.
        parts.base = cut(name, name_length);
        return parts;
    }
    parts.base = cut(name, dot_pos);
    parts.extension = cut(dot + 1, name_length - dot_pos - 1);
    return parts;
}

void set_extension(std::string& name, const char* extension, bool replace) {
    if (extension == nullptr) extension = "";

    // The last "." is an extension only when no directory separator follows.
    size_t dot = std::string::npos;
    for (size_t i = name.size(); i-- > 0;) {
        if (is_dir_separator(name[i])) break;
        if (name[i] == '.') {
            dot = i;
            break;
        }
    }

    if (dot != std::string::npos) {
        if (!replace) return;
        name.erase(dot);
        if (*extension == '\0') return;
    } else if (*extension == '\0') {
        return;
    }

    if (*extension != '.') name += '.';
    name += extension;
}

}  // namespace coffhex
