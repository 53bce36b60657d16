// The parts of the object model that do not depend on the file's format.
#include "object/object_file.h"

#include "object/byteorder.h"

namespace coffhex {

const SectionEntry* ObjectFile::find_section(std::string_view name) const {
    const int index = find_section_index(name);
    return index < 0 ? nullptr : &sections_[static_cast<size_t>(index)];
}

int ObjectFile::find_section_index(std::string_view name) const {
    for (size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i].name == name) return static_cast<int>(i);
    return -1;
}

uint32_t ObjectFile::target_word(const uint8_t* bytes) const {
    return big_endian_data_ ? get_be32(bytes) : get_le32(bytes);
}

}  // namespace coffhex
