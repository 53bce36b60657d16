// coffgen: builds COFF and ELF object files of the target toolchain from a
// readable description, for tests, examples, fuzz seeds and benchmarks.
//
// Text form (one directive per line, "#" starts a comment, a token may be
// written in double quotes to hold blanks or to be empty: ""). Numbers are
// written as in C: 0x1F, 017 (octal), 31.
//
// File-level directives:
//   magic 0x00C2            first header field: 0x0099, 0x00C0 (version 0,
//                           20-byte file header, 40-byte section headers),
//                           0x00C1 (version 1, 22/40), 0x00C2 (version 2,
//                           22/48); any other value is written as version 2
//   target 0x0099           target id at offset 20 (versions 1 and 2)
//   headers lsb|msb         byte order of header fields (msb = "swapped")
//   data lsb|msb            target data byte order (msb sets flag 0x0200);
//                           .cinit records use the order in force at the end
//   flags 0x0000            further file-header flag bits
//   timestamp N             time-stamp field (default 0)
//   entry 0x2000            adds a 28-byte optional header with this entry
//   opthdr-size 30          overrides the optional-header size field; the
//                           optional-header area in the file then has this
//                           length (the 28-byte header, when there is one,
//                           cut or padded with zeros to it)
//   nsections N             overrides the section-count field
//   nsyms N                 overrides the symbol-count field
//   symptr N                overrides the symbol-table position field
//   strtab-size N           overrides the string-table size word (the string
//                           table is then written even when it is empty)
//   strtab-extra 41 42 ...  bytes appended to the string-table text (counted
//                           in its size), e.g. a tail without terminator
//   tail 01 02 ...          bytes appended at the very end of the file
//   truncate N              cuts the finished file to N bytes
//
// Sections (the lines after a section line, up to the next file-level
// directive, section or symbol, give its raw data):
//   section NAME [paddr=A] [vaddr=A] [size=N] [flags=F] [page=P] [nodata]
//                [datapos=N] [stroff=N]
//     bytes 01 02 03 ...    raw data bytes (hex; a token may hold several
//                           pairs: 010203), may repeat
//     pattern N [seed=S]    N pseudo-random bytes (deterministic per seed)
//     fill N BYTE           N copies of BYTE
//     record ADDR 01 02 ... a .cinit record (length, address, data, padding to 8)
//     record ADDR pattern N [seed=S]
//                           a .cinit record of N pseudo-random bytes
//     end-records           a zero length word after the records
//     raw 01 02 ...         raw bytes appended as they stand (e.g. truncated
//                           tails); the same as bytes
//   symbol NAME VALUE [class=2] [type=0] [section=1] [aux=0] [stroff=N]
//                           section is signed (-1 absolute, -2 debug); aux
//                           entries are written as 18 zero bytes each
//
// Defaults: magic 0x00C2, target 0x0099, both byte orders lsb, no optional
// header, vaddr = paddr, size = number of data bytes, flags 0x20, page 0.
// Names longer than eight characters go to the string table (version 2
// sections; symbols in every version); a longer section name in version 0
// or 1 is refused. An empty name writes eight zero bytes. stroff=N writes
// a string-table name with offset N whatever the name (the name is then
// not put into the string table).
//
// ELF files (the directive "elf" makes the file an ELF file; the other
// directives keep their meaning where an ELF file has the same thing):
//   elf [32|64]             writes an ELF file of that class (default 32);
//                           a 64-bit file is only its 64-byte ELF header
//   machine 140             e_machine (default 140, this target)
//   data lsb|msb            the data encoding (ELFDATA2LSB / ELFDATA2MSB):
//                           header fields and target data alike
//   entry 0x2000            e_entry (default 0)
//   nsections N             overrides e_shnum
//   shoff N, phoff N        override e_shoff and e_phoff
//   shstrndx N              overrides e_shstrndx
//   section NAME [vaddr=A] [paddr=A] [size=N] [nobits] [noalloc]
//                [type=T] [shflags=F] [segment=K] [nosegment]
//                [datapos=N] [stroff=N]
//                           vaddr is the run address (sh_addr), paddr the
//                           load address (default: vaddr; vaddr defaults to
//                           paddr); nobits makes an SHT_NOBITS section (give
//                           its size), noalloc one without SHF_ALLOC; type
//                           and shflags override sh_type (default 1,
//                           SHT_PROGBITS) and sh_flags (default 0x6, alloc
//                           and executable; 0 with noalloc); datapos and
//                           stroff override sh_offset and sh_name.
//                           Every allocated section gets a PT_LOAD segment of
//                           its own, except that sections with the same
//                           segment=K share one (their data should lie one
//                           after the other) and nosegment ones get none.
//                           A segment runs at the run address and is loaded
//                           at the load address of its first section.
//   symbol NAME VALUE [bind=B] [type=T] [section=N]
//                           bind is global (default), local, weak or a
//                           number; section is the section header index
//                           (the sections count from 1; -1 is SHN_ABS, 0
//                           undefined); type is the symbol type (st_info's
//                           low four bits)
// ELF layout: ELF header, program headers, the bytes of each section with
// contents in order, .shstrtab, then (with symbols) .symtab and .strtab,
// then the section header table (null entry, the sections in order,
// .shstrtab, .symtab, .strtab).
//
// File layout: file header, optional-header area, section headers, the raw
// data of each section in order, the symbol table (each symbol followed by
// its auxiliary entries, 18 zero bytes each), the string table (a size word
// that counts itself, then the names, each NUL-terminated, in the order
// sections then symbols). A section's raw-data position is 0 when it has
// nodata or no data bytes; datapos=N only overrides the field (the bytes,
// if any, are still written in their place). The symbol-table position is
// where the symbol table (or, without symbols, the string table) starts.
// The string table is written when it holds a name or strtab-extra bytes,
// or when strtab-size is given.
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
    std::optional<uint32_t> name_offset;  // string-table name with this offset

    // ELF only.
    bool paddr_given = false;          // paddr is the load address
    bool nobits = false;               // SHT_NOBITS
    bool noalloc = false;              // without SHF_ALLOC
    std::optional<uint32_t> type;      // overrides sh_type
    std::optional<uint32_t> shflags;   // overrides sh_flags
    std::optional<uint32_t> segment;   // PT_LOAD shared with the same number
    bool no_segment = false;           // in no PT_LOAD segment
};

struct Symbol {
    std::string name;
    uint32_t value = 0;
    int16_t section = 1;
    uint16_t type = 0;
    uint8_t storage_class = 2;
    int aux_count = 0;
    std::optional<uint32_t> name_offset;  // string-table name with this offset
    std::optional<uint8_t> bind;          // ELF binding (default global)
};

struct Object {
    uint16_t magic = 0x00C2;
    uint16_t target = 0x0099;
    bool swapped = false;          // header fields most significant byte first
    bool big_endian_data = false;  // flag 0x0200
    uint16_t extra_flags = 0;
    uint32_t time_stamp = 0;
    std::optional<uint32_t> entry;              // optional header with this entry point
    std::optional<uint16_t> opt_header_size;    // overrides the size field
    std::vector<Section> sections;
    std::vector<Symbol> symbols;

    // ELF output.
    bool elf = false;
    int elf_class = 32;            // 32 or 64
    uint16_t machine = 140;
    std::optional<uint32_t> shoff;
    std::optional<uint32_t> phoff;
    std::optional<uint16_t> shstrndx;

    // Overrides for damaged or hostile files.
    std::optional<uint16_t> section_count;
    std::optional<uint32_t> symbol_count;
    std::optional<uint32_t> symbol_pos;
    std::optional<uint32_t> string_table_size;
    std::vector<uint8_t> string_table_extra;
    std::vector<uint8_t> tail;
    std::optional<size_t> truncate;
};

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An object that cannot be written in its version (a long section name in
// version 0 or 1, a field too wide for a 40-byte section header).
struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Version (0, 1, 2) and header lengths that a first header field selects.
int version_of(uint16_t magic);
size_t file_header_length(uint16_t magic);
size_t section_header_length(uint16_t magic);

// Appends a .cinit record (length and address in the object's data byte
// order, the data, zero padding to a multiple of 8) to a section's data.
// The record starts on a multiple of 8 from the start of the data (zero
// padding is added in front when the data so far end elsewhere).
void add_cinit_record(const Object& object, Section& section, uint32_t address,
                      const std::vector<uint8_t>& data);
// Appends a 4-byte zero length word.
void add_cinit_end(const Object& object, Section& section);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> pattern_bytes(size_t count, uint32_t seed);

std::vector<uint8_t> build(const Object& object);  // throws BuildError; ELF when object.elf
Object parse(const std::string& text);  // throws ParseError naming the line
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace coffgen
