// Symbol table: external symbols of the input file, hashed by name.
#pragma once

#include <cstdint>
#include <string>

namespace coffhex {

inline constexpr uint32_t SYMBOL_BUCKETS = 2030;
inline constexpr uint8_t C_EXT = 2;
inline constexpr uint8_t C_EXTREF = 5;

// One symbol entry of the file, fields decoded in the header byte order.
struct SymbolFileEntry {
    char name[9] = {};           // inline name, terminated; empty for a string-table name
    bool in_string_table = false;
    uint32_t name_offset = 0;    // string-table offset when in_string_table
    uint32_t value = 0;
    int16_t section = 0;
    uint16_t type = 0;
    uint8_t storage_class = 0;
    uint8_t aux_count = 0;
};

// Reads the symbol table, keeps the external symbols, resolves the boot
// entry point and has the map header written.
bool build_symbol_table();

// Reads the entry at `index` (and its first auxiliary entry); returns the
// index of the next entry, or -1 when the entry cannot be read or names a
// text outside the string table.
int64_t read_symbol_entry(uint32_t index, SymbolFileEntry& entry);

// Name text of a file entry.
std::string symbol_name_text(const SymbolFileEntry& entry);
// Pooled name text of a file entry; an inline name is copied into the pool
// first and the entry rewritten as a string-table name.
const char* pool_symbol_name(SymbolFileEntry& entry);

uint32_t symbol_hash(const char* name);
void symbol_table_add(SymbolFileEntry& entry);
bool symbol_table_find(const char* name, uint32_t& value);
void symbol_table_clear();
void resolve_entry_symbol();

}  // namespace coffhex
