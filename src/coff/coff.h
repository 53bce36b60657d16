// The COFF reader: fills the object model from a COFF file's file header,
// optional header, section headers and string table, and reads a section's
// bytes and its .cinit autoinitialization records.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "object/object_file.h"

namespace coffhex {

class Diagnostics;

// True when `value`, the file header's first field read in either byte
// order, is the magic number of a COFF file this reader takes.
bool is_coff_magic(uint16_t value);

// True when `bytes` (at least `count` of them) begin with a COFF magic
// number in either byte order.
bool is_coff_identification(const uint8_t* bytes, size_t count);

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

// A COFF file. Every failure to read it ends the run through the
// diagnostics: FATAL "error reading COFF file", "COFF file has wrong magic
// number" or "symbol read error"; a damaged section header ends it with
// status 255 and its own text.
class CoffFile final : public ObjectFile {
public:
    // Takes the open stream, positioned anywhere; the file closes it.
    CoffFile(FILE* stream, Diagnostics& diag);
    ~CoffFile() override;

    // File header, optional header, string table and section headers.
    // With `trace` the string table's size is printed.
    void read_headers(bool trace) override;
    // The trace line that follows the headers: section count and byte orders.
    void trace_headers() const override;

    // The external symbols (storage classes C_EXT and C_EXTREF), with a
    // trace line for every entry when `symbol_trace` is set.
    void read_symbols(SymbolTable& table, int symbol_trace) const override;

    // Streams section data to `sink`, sections taken in `order` (indices
    // into sections()): first the raw data of every section that loads it,
    // then the records of every .cinit section, the data of each record
    // at its target address on the page of the .bss section. With `trace`
    // the progress of the reading is printed.
    void read_section_data(const std::vector<int>& order, ChunkSink& sink, bool trace) const override;

    // Closes the stream early (the driver closes the input before the
    // output is finished).
    void close() override;
    const char* kind() const override { return "COFF"; }

    const FileHeader& header() const { return header_; }
    const OptionalHeader* optional_header() const { return has_opt_header_ ? &opt_header_ : nullptr; }
    // Header fields are stored most significant byte first.
    bool swapped() const { return swapped_; }
    int version() const { return version_; }

    // Text of the string table at `offset` (from 4 up to its last NUL), or
    // nullptr when the offset names nothing inside it.
    const char* string_at(uint32_t offset) const;


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
    int version_ = 0;
    std::vector<char> strings_;  // the string table's text from offset 4, up to its last NUL
    bool has_string_table_ = false;
    // The block that section data is read through (a buffer, not state).
    mutable std::vector<uint8_t> read_block_;
};

}  // namespace coffhex
