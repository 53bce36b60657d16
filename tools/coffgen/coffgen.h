// coffgen: builds COFF object files of the target toolchain from a readable
// description, for tests, examples, fuzz seeds and benchmarks.
//
// Text form (one directive per line, "#" starts a comment):
//
//   magic 0x00C2            first header field: 0x0099, 0x00C0, 0x00C1, 0x00C2
//   target 0x0099           target id (versions 1 and 2)
//   headers lsb|msb         byte order of header fields (msb = "swapped")
//   data lsb|msb            target data byte order (msb sets flag 0x0200)
//   flags 0x0000            further file-header flag bits
//   entry 0x2000            adds a 28-byte optional header with this entry
//   opthdr-size 30          overrides the optional-header size field
//   section NAME [paddr=A] [vaddr=A] [size=N] [flags=F] [page=P] [nodata] [datapos=N]
//     bytes 01 02 03 ...    raw data bytes (hex), may repeat
//     pattern N [seed=S]    N pseudo-random bytes (deterministic per seed)
//     fill N BYTE           N copies of BYTE
//     record ADDR 01 02 ... a .cinit record (length, address, data, padding to 8)
//     end-records           a zero length word after the records
//     raw 01 02 ...         raw bytes appended as they stand (e.g. truncated tails)
//   symbol NAME VALUE [class=2] [type=0] [section=1] [aux=0]
//
// Defaults: magic 0x00C2, target 0x0099, both byte orders lsb, no optional
// header, vaddr = paddr, size = number of data bytes, flags 0x20, page 0.
// Names longer than eight characters go to the string table (version 2
// sections; symbols in every version).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace coffgen {

struct CinitRecord {
    uint32_t address = 0;
    std::vector<uint8_t> data;
};

struct Section {
    std::string name;
    uint32_t paddr = 0;
    std::optional<uint32_t> vaddr;     // default: paddr
    std::optional<uint32_t> size;      // default: data.size()
    uint32_t flags = 0x20;
    uint16_t page = 0;
    std::vector<uint8_t> data;         // raw data as stored in the file
    bool no_data = false;              // raw-data position 0
    std::optional<uint32_t> data_pos;  // overrides the raw-data position
};

struct Symbol {
    std::string name;
    uint32_t value = 0;
    int16_t section = 1;
    uint16_t type = 0;
    uint8_t storage_class = 2;
    int aux_count = 0;
};

struct Object {
    uint16_t magic = 0x00C2;
    uint16_t target = 0x0099;
    bool swapped = false;          // header fields most significant byte first
    bool big_endian_data = false;  // flag 0x0200
    uint16_t extra_flags = 0;
    std::optional<uint32_t> entry;              // optional header with this entry point
    std::optional<uint16_t> opt_header_size;    // overrides the size field
    std::vector<Section> sections;
    std::vector<Symbol> symbols;
};

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Appends a .cinit record (length and address in the object's data byte
// order, the data, zero padding to a multiple of 8) to a section's data.
void add_cinit_record(const Object& object, Section& section, uint32_t address,
                      const std::vector<uint8_t>& data);
void add_cinit_end(const Object& object, Section& section);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> pattern_bytes(size_t count, uint32_t seed);

std::vector<uint8_t> build(const Object& object);
Object parse(const std::string& text);  // throws ParseError naming the line
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace coffgen
