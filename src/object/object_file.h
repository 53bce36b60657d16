// The input object file as a read-only model: its sections with their
// names, addresses, kinds and pages, its entry point and byte orders, and
// the way to read its symbols and its section bytes. A reader for each
// object format fills it; nothing downstream knows which format it was.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace coffhex {

class Diagnostics;
class SymbolTable;

// Largest chunk of section data handed to a chunk sink.
inline constexpr uint32_t LOADBUFSIZE = 16384;

// Section flag bits of a COFF section header that the converter uses.
inline constexpr uint32_t STYP_DSECT = 0x01;
inline constexpr uint32_t STYP_NOLOAD = 0x02;
inline constexpr uint32_t STYP_COPY = 0x10;

// One section. The reader fills the addresses and decides the kinds from
// the file's own flags.
struct SectionEntry {
    std::string name;          // the section's name text
    bool long_name = false;    // the name came from a string table
    uint32_t paddr = 0;        // physical address as the file records it
    uint32_t vaddr = 0;        // run address: the section's bytes are handed on from it
    uint32_t load = 0;         // load address: where images and the map put the section
    uint32_t size = 0;
    uint32_t data_pos = 0;     // file position of the bytes; 0 = no bytes in the file
    uint32_t reloc_pos = 0;
    uint32_t lineno_pos = 0;
    uint32_t reloc_count = 0;
    uint32_t lineno_count = 0;
    uint32_t flags = 0;        // the file's section flags
    uint16_t reserved = 0;
    uint16_t page = 0;

    // Kinds, decided by the reader.
    bool loadable = true;      // may be loaded at all
    bool copy = false;         // a copy section: its bytes are not loaded as they stand
    bool cinit = false;        // holds .cinit autoinitialization records

    bool is_copy() const { return copy; }
    bool is_cinit() const { return cinit; }
    bool is_bss() const { return name == ".bss"; }
    // Bytes that can be converted: present, not empty, loadable.
    bool has_data() const { return data_pos != 0 && size != 0 && loadable; }
    // Bytes loaded as they stand (copy sections are not; .cinit is read as
    // records).
    bool loads_raw_data() const { return has_data() && !copy; }
};

// Receives section data: a chunk of at most LOADBUFSIZE bytes of section
// `index` (in the file's section order), whose first byte belongs at
// `address` in that section's address space (for .cinit records, the
// target address of the record's data), on memory page `page`.
class ChunkSink {
public:
    virtual ~ChunkSink() = default;
    virtual void load_chunk(int index, const SectionEntry& section, const uint8_t* data,
                            uint32_t length, uint32_t address, int32_t page) = 0;
};

// Reads `count` bytes at `position` of a file of `file_size` bytes; false
// when they do not all lie inside the file or cannot be read.
bool read_file_at(FILE* stream, uint64_t file_size, uint64_t position, uint8_t* buffer,
                  size_t count);

// Reads `size` bytes of a section's data from `position` of `stream` in
// large blocks (one seek and one read per block instead of one per chunk)
// and hands them on in chunks of at most LOADBUFSIZE bytes: `chunk(bytes,
// offset, length)`, offset counted from `position`. The chunks are the same
// as if each had been read on its own. Returns false, after every chunk read
// whole, when the file ends before a chunk does. `block` is the reader's
// buffer, sized here on first use.
bool stream_section_chunks(FILE* stream, uint64_t position, uint32_t size,
                           std::vector<uint8_t>& block,
                           const std::function<void(const uint8_t*, uint32_t, uint32_t)>& chunk);

// The object file. A reader ends the run through the diagnostics on every
// failure to read the file.
class ObjectFile {
public:
    virtual ~ObjectFile() = default;
    ObjectFile(const ObjectFile&) = delete;
    ObjectFile& operator=(const ObjectFile&) = delete;

    // The headers and section headers. With `trace` the reader may print
    // what it found on the way.
    virtual void read_headers(bool trace) = 0;
    // The trace line that follows the headers: section count and byte orders.
    virtual void trace_headers() const = 0;
    // The symbols by which a name can be turned into an address, with a
    // trace line for every entry when `symbol_trace` is set.
    virtual void read_symbols(SymbolTable& table, int symbol_trace) const = 0;
    // Streams section data to `sink`, sections taken in `order` (indices
    // into sections()). With `trace` the progress of the reading is printed.
    virtual void read_section_data(const std::vector<int>& order, ChunkSink& sink,
                                   bool trace) const = 0;
    // Closes the input early (the driver closes it before the output is
    // finished).
    virtual void close() = 0;
    // The object format, as messages name it: "COFF" or "ELF".
    virtual const char* kind() const = 0;

    // The target data is big-endian.
    bool big_endian_data() const { return big_endian_data_; }
    // The file's entry point; 0 when it has none.
    uint32_t entry_address() const { return entry_address_; }
    const std::vector<SectionEntry>& sections() const { return sections_; }
    // The first section of that name, or nullptr.
    const SectionEntry* find_section(std::string_view name) const;
    int find_section_index(std::string_view name) const;  // -1 when none
    const SectionEntry* bss() const { return find_section(".bss"); }

    // Reads a 32-bit word of target data in the file's data byte order.
    uint32_t target_word(const uint8_t* bytes) const;

protected:
    ObjectFile() = default;

    bool big_endian_data_ = false;
    uint32_t entry_address_ = 0;
    std::vector<SectionEntry> sections_;
};

}  // namespace coffhex
