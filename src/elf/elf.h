// The ELF reader: fills the object model from a 32-bit ELF executable of
// this target (machine 140) in either data encoding, and reads a section's
// bytes and the symbols of its .symtab.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "object/object_file.h"

namespace coffhex {

class Diagnostics;

// The machine number of this target in the ELF header.
inline constexpr uint16_t ELF_MACHINE = 140;

// True when `bytes` (at least `count` of them) begin with the ELF
// identification "\x7fELF".
bool is_elf_identification(const uint8_t* bytes, size_t count);

// An ELF file. Every failure to read it, and every ELF file that is not a
// 32-bit file of this target, ends the run with a FATAL message that names
// the file.
class ElfFile final : public ObjectFile {
public:
    // Takes the open stream, positioned anywhere; the file closes it.
    // `name` is the file's name for the messages.
    ElfFile(FILE* stream, std::string name, Diagnostics& diag);
    ~ElfFile() override;

    // ELF header, program headers and section headers; refuses an ELF file
    // of another class or machine. With `trace` the symbol count and the
    // string table's size are printed.
    void read_headers(bool trace) override;
    void trace_headers() const override;
    // The defined global and weak symbols of .symtab.
    void read_symbols(SymbolTable& table, int symbol_trace) const override;
    // The bytes of every allocated section with contents, at its run address.
    void read_section_data(const std::vector<int>& order, ChunkSink& sink, bool trace) const override;
    void close() override;
    const char* kind() const override { return "ELF"; }

    // The section header table's index of each section of sections().
    const std::vector<uint32_t>& section_indices() const { return indices_; }

private:
    struct RawSection {
        uint32_t name = 0;
        uint32_t type = 0;
        uint32_t flags = 0;
        uint32_t addr = 0;
        uint32_t offset = 0;
        uint32_t size = 0;
        uint32_t link = 0;
        uint32_t entsize = 0;
        bool has_contents() const;
    };

    bool read_at(uint64_t position, uint8_t* buffer, size_t count) const;
    [[noreturn]] void damaged(const char* reason) const;
    [[noreturn]] void damaged_section(const char* reason, uint32_t index) const;
    uint16_t u16(const uint8_t* p) const;
    uint32_t u32(const uint8_t* p) const;
    // The text at `offset` of string table section `table`, or nullptr when
    // the offset lies outside it or the text has no terminator inside it.
    const char* string_in(const std::vector<char>& table, uint32_t offset) const;
    std::vector<char> read_string_table(uint32_t index) const;
    void check_tables_apart(uint64_t ph_start, uint64_t ph_size, uint64_t sh_start,
                            uint64_t sh_size) const;

    FILE* stream_;
    std::string name_;
    Diagnostics& diag_;
    uint64_t file_size_ = 0;
    bool big_endian_ = false;
    std::vector<RawSection> raw_;        // the section header table, index 0 included
    std::vector<uint32_t> indices_;      // table index of each model section
    uint32_t symtab_ = 0;                // table index of .symtab, 0 when none
};

}  // namespace coffhex
