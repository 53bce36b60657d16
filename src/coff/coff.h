// The COFF input file: file header, optional header, string table and
// section headers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace coffhex {

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

// One section header, in the layout of the 48-byte header.
struct SectionEntry {
    char name[9] = {};               // inline name, always terminated
    const char* long_name = nullptr; // pooled text of a string-table name
    uint32_t paddr = 0;
    uint32_t vaddr = 0;
    uint32_t size = 0;
    uint32_t data_pos = 0;           // 0 = no raw data in the file
    uint32_t reloc_pos = 0;
    uint32_t lineno_pos = 0;
    uint32_t reloc_count = 0;
    uint32_t lineno_count = 0;
    uint32_t flags = 0;
    uint16_t reserved = 0;
    uint16_t page = 0;

    bool has_inline_name(const char* text) const;
};

// One block of the string pool.
struct StringBlock {
    int32_t capacity = 0;
    int32_t base = 0;   // string-table offset of text[0]
    int32_t used = 0;
    std::unique_ptr<char[]> text;
};

// String table and pooled short symbol names; blocks newest last.
struct StringPool {
    std::vector<StringBlock> blocks;
    bool empty() const { return blocks.empty(); }
    void clear() { blocks.clear(); }
};

struct CoffInput {
    FILE* stream = nullptr;
    uint64_t file_size = 0;          // bytes in the file, for bounds checks
    FileHeader header;
    OptionalHeader opt_header;
    bool has_opt_header = false;
    bool swapped = false;
    bool big_endian_data = false;
    int version = 0;
    uint32_t entry_address = 0;
    std::vector<SectionEntry> sections;
    StringPool pool;
    uint32_t string_table_end = 0;   // offset past the string table's last NUL; 0 = none
    int current_section = -1;
};

CoffInput& coff_input();

// The conversion run: headers, symbols, section data.
bool load_coff_file();
bool read_coff_headers();
bool read_string_table();
// Pooled text at a string-table offset, or nullptr when no block holds it.
const char* string_at_offset(uint32_t offset);
// True when `offset` names a text inside the file's string table (from 4 up
// to its last NUL); offsets read from the file are checked with it before
// they are looked up, so that they cannot reach the pooled short names.
bool string_table_holds(uint32_t offset);
// Name text of a section entry.
const char* section_name_text(const SectionEntry& entry);

// The translate step the reader calls once the section headers are in
// memory; begin_translation unless a test replaces it (nullptr restores it).
using TranslationStep = bool (*)();
void set_translation_step(TranslationStep step);

// Clears the reader's state (keeps nothing from an earlier run) and restores
// the translate step; the stream is not closed here.
void reset_coff_input();

}  // namespace coffhex
