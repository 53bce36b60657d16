// The COFF input file as a read-only object model: file header, optional
// header, section headers with their names, the string table, and the way
// to read a section's bytes and its .cinit autoinitialization records.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace coffhex {

class Diagnostics;

// Largest chunk of section data handed to a chunk sink.
inline constexpr uint32_t LOADBUFSIZE = 16384;

// Section flag bits used by the converter.
inline constexpr uint32_t STYP_DSECT = 0x01;
inline constexpr uint32_t STYP_NOLOAD = 0x02;
inline constexpr uint32_t STYP_COPY = 0x10;

struct FileHeader {
    uint16_t magic = 0;          // version id or target id
    uint16_t section_count = 0;
    uint32_t time_stamp = 0;
    uint32_t symbol_pos = 0;
    uint32_t symbol_count = 0;   // auxiliary entries included
    uint16_t opt_header_size = 0;
    uint16_t flags = 0;
    uint16_t target_id = 0;      // versions 1 and 2
};

struct OptionalHeader {
    uint16_t magic = 0;
    uint16_t version_stamp = 0;
    uint32_t code_size = 0;
    uint32_t data_size = 0;
    uint32_t bss_size = 0;
    uint32_t entry = 0;
    uint32_t code_start = 0;
    uint32_t data_start = 0;
};

// One section header.
struct SectionEntry {
    std::string name;          // inline name or string-table text
    bool long_name = false;    // the name came from the string table
    uint32_t paddr = 0;
    uint32_t vaddr = 0;
    uint32_t size = 0;
    uint32_t data_pos = 0;     // 0 = no raw data in the file
    uint32_t reloc_pos = 0;
    uint32_t lineno_pos = 0;
    uint32_t reloc_count = 0;
    uint32_t lineno_count = 0;
    uint32_t flags = 0;
    uint16_t reserved = 0;
    uint16_t page = 0;

    // Section kinds, decided by the name text however it is stored.
    bool is_copy() const { return (flags & STYP_COPY) != 0; }
    // The autoinitialization records: a copy section named ".cinit".
    bool is_cinit() const { return is_copy() && name == ".cinit"; }
    bool is_bss() const { return name == ".bss"; }
    // Raw data that can be converted: present, not empty, not a dummy or
    // no-load section.
    bool has_data() const {
        return data_pos != 0 && size != 0 && (flags & (STYP_DSECT | STYP_NOLOAD)) == 0;
    }
    // Raw data loaded as it stands (copy sections are not; .cinit is read
    // as records).
    bool loads_raw_data() const { return data_pos != 0 && size != 0 && (flags & (STYP_DSECT | STYP_NOLOAD | STYP_COPY)) == 0; }
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

class SymbolTable;

// The object file. Every failure to read it ends the run through the
// diagnostics: FATAL "error reading COFF file", "COFF file has wrong magic
// number" or "symbol read error"; a damaged section header ends it with
// status 255 and its own text.
class CoffFile {
public:
    // Takes the open stream, positioned anywhere; the file closes it.
    CoffFile(FILE* stream, Diagnostics& diag);
    ~CoffFile();
    CoffFile(const CoffFile&) = delete;
    CoffFile& operator=(const CoffFile&) = delete;

    // File header, optional header, string table and section headers.
    // With `trace` the string table's size is printed.
    void read_headers(bool trace);
    // The trace line that follows the headers: section count and byte orders.
    void trace_headers() const;

    // The external symbols (storage classes C_EXT and C_EXTREF), with a
    // trace line for every entry when `symbol_trace` is set.
    void read_symbols(SymbolTable& table, int symbol_trace) const;

    // Streams section data to `sink`, sections taken in `order` (indices
    // into sections()): first the raw data of every section that loads it,
    // then the records of every .cinit section, the data of each record
    // at its target address on the page of the .bss section. With `trace`
    // the progress of the reading is printed.
    void read_section_data(const std::vector<int>& order, ChunkSink& sink, bool trace) const;

    // Closes the stream early (the driver closes the input before the
    // output is finished).
    void close();

    const FileHeader& header() const { return header_; }
    const OptionalHeader* optional_header() const { return has_opt_header_ ? &opt_header_ : nullptr; }
    // Header fields are stored most significant byte first.
    bool swapped() const { return swapped_; }
    // The target data is big-endian (file flag 0x0200).
    bool big_endian_data() const { return big_endian_data_; }
    int version() const { return version_; }
    // Entry point of the optional header; 0 when there is none.
    uint32_t entry_address() const { return entry_address_; }
    const std::vector<SectionEntry>& sections() const { return sections_; }
    // The first section of that name, or nullptr.
    const SectionEntry* find_section(std::string_view name) const;
    int find_section_index(std::string_view name) const;  // -1 when none
    const SectionEntry* bss() const { return find_section(".bss"); }

    // Text of the string table at `offset` (from 4 up to its last NUL), or
    // nullptr when the offset names nothing inside it.
    const char* string_at(uint32_t offset) const;

    // Reads a 32-bit word of target data in the file's data byte order.
    uint32_t target_word(const uint8_t* bytes) const;

private:
    bool read_at(uint64_t position, uint8_t* buffer, size_t count) const;
    void read_string_table(bool trace);
    void decode_section_header(const uint8_t* p, SectionEntry& e);
    [[noreturn]] void header_abort(const char* text) const;
    [[noreturn]] void read_error() const;
    void read_one_section(int index, ChunkSink& sink, bool trace, struct CinitState* cinit) const;

    FILE* stream_;
    Diagnostics& diag_;
    uint64_t file_size_ = 0;
    FileHeader header_;
    OptionalHeader opt_header_;
    bool has_opt_header_ = false;
    bool swapped_ = false;
    bool big_endian_data_ = false;
    int version_ = 0;
    uint32_t entry_address_ = 0;
    std::vector<SectionEntry> sections_;
    std::vector<char> strings_;  // the string table's text from offset 4, up to its last NUL
    bool has_string_table_ = false;
};

}  // namespace coffhex
