// Symbol table: the external symbols of the input file in 2030 hashed
// buckets, for turning a boot entry point name into an address.
#include "object/sym.h"

namespace coffhex {

uint32_t symbol_hash(const char* name) {
    uint32_t h = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        // Each byte counts as a signed 8-bit number: from 0x80 up, all upper
        // bits are set.
        const uint32_t byte = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*p)));
        h = (h << 1) ^ byte;
    }
    return h;
}

int SymbolTable::add(const SymbolFileEntry& entry) {
    const uint32_t bucket = symbol_hash(entry.name.c_str()) % SYMBOL_BUCKETS;
    std::vector<Symbol>& cells = buckets_[bucket];
    for (auto it = cells.rbegin(); it != cells.rend(); ++it)
        if (it->value == entry.value && it->name == entry.name) return -1;
    cells.push_back(Symbol{entry.name, entry.value, entry.type, entry.storage_class});
    return static_cast<int>(bucket);
}

bool SymbolTable::find(const char* name, uint32_t& value) const {
    const std::vector<Symbol>& cells = buckets_[symbol_hash(name) % SYMBOL_BUCKETS];
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
        if (it->name == name) {
            value = it->value;
            return true;
        }
    }
    return false;
}

size_t SymbolTable::size() const {
    size_t count = 0;
    for (const auto& cells : buckets_) count += cells.size();
    return count;
}

}  // namespace coffhex
