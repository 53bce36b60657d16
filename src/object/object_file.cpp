// The parts of the object model that do not depend on the file's format.
#include "object/object_file.h"

#include <algorithm>
#include <cstddef>

#include "object/byteorder.h"
#include "platform/platform.h"

namespace coffhex {

namespace {

// Section data is read this many bytes at a time: a whole number of chunks.
constexpr uint32_t READ_BLOCK = 64 * LOADBUFSIZE;  // 1 MiB

}  // namespace

bool read_file_at(FILE* stream, uint64_t file_size, uint64_t position, uint8_t* buffer,
                  size_t count) {
    if (stream == nullptr) return false;
    if (position > file_size || count > file_size - position) return false;
    if (!seek_to(stream, position)) return false;
    return std::fread(buffer, 1, count, stream) == count;
}

bool stream_section_chunks(FILE* stream, uint64_t position, uint32_t size,
                           std::vector<uint8_t>& block,
                           const std::function<void(const uint8_t*, uint32_t, uint32_t)>& chunk) {
    if (size == 0) return true;
    // Whole chunks: every chunk handed on is followed by the rest of a
    // LOADBUFSIZE buffer, zero behind a short last chunk.
    const uint32_t first = size < READ_BLOCK ? size : READ_BLOCK;
    const size_t wanted_block = (static_cast<size_t>(first) + LOADBUFSIZE - 1) / LOADBUFSIZE * LOADBUFSIZE;
    if (block.size() < wanted_block) block.resize(wanted_block);
    if (!seek_to(stream, position)) return false;
    for (uint32_t done = 0; done < size;) {
        const uint32_t rest = size - done;
        const uint32_t length = rest < READ_BLOCK ? rest : READ_BLOCK;
        // The stream stays where the previous block ended: no seek.
        const size_t got = std::fread(block.data(), 1, length, stream);
        const size_t padded = (static_cast<size_t>(length) + LOADBUFSIZE - 1) / LOADBUFSIZE * LOADBUFSIZE;
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(length),
                  block.begin() + static_cast<std::ptrdiff_t>(padded), uint8_t{0});
        for (uint32_t at = 0; at < length; at += LOADBUFSIZE) {
            const uint32_t n = length - at < LOADBUFSIZE ? length - at : LOADBUFSIZE;
            if (static_cast<size_t>(at) + n > got) return false;
            chunk(block.data() + at, done + at, n);
        }
        done += length;
    }
    return true;
}

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
