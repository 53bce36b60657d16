// Symbol table: the external symbols of the input file in hashed buckets,
// for turning a boot entry point name into an address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace coffhex {

inline constexpr uint32_t SYMBOL_BUCKETS = 2030;
inline constexpr uint8_t C_EXT = 2;
inline constexpr uint8_t C_EXTREF = 5;

// One symbol entry of the file, fields decoded in the header byte order.
struct SymbolFileEntry {
    std::string name;            // inline name or string-table text
    bool in_string_table = false;
    uint32_t name_offset = 0;    // string-table offset when in_string_table
    uint32_t value = 0;
    int16_t section = 0;
    uint16_t type = 0;
    uint8_t storage_class = 0;
    uint8_t aux_count = 0;
};

uint32_t symbol_hash(const char* name);

class SymbolTable {
public:
    SymbolTable() : buckets_(SYMBOL_BUCKETS) {}

    // Adds a symbol unless one of the same name and value is there; returns
    // its bucket, or -1 when it was there already.
    int add(const SymbolFileEntry& entry);
    // The value of the most recently added symbol of that name.
    bool find(const char* name, uint32_t& value) const;
    size_t size() const;

private:
    struct Symbol {
        std::string name;
        uint32_t value = 0;
        uint16_t type = 0;
        uint8_t storage_class = 0;
    };
    // Each bucket holds its entries oldest first.
    std::vector<std::vector<Symbol>> buckets_;
};

}  // namespace coffhex
