// The COFF input file: file header, optional header, string table, section
// headers and symbols.
#include "coff/coff.h"

#include <cstring>

#include "object/byteorder.h"
#include "object/sym.h"
#include "diag/diag.h"
#include "platform/platform.h"

namespace coffhex {

namespace {

constexpr uint32_t SYMBOL_ENTRY_SIZE = 18;
constexpr size_t OPT_HEADER_SIZE = 28;
constexpr size_t FILE_HEADER_READ = 22;

}  // namespace

bool is_coff_magic(uint16_t value) {
    return value == 0x0099 || value == 0x00C0 || value == 0x00C1 || value == 0x00C2;
}

bool is_coff_identification(const uint8_t* bytes, size_t count) {
    if (count < 2) return false;
    return is_coff_magic(get_le16(bytes)) || is_coff_magic(get_be16(bytes));
}

CoffFile::CoffFile(FILE* stream, Diagnostics& diag) : stream_(stream), diag_(diag) {}

CoffFile::~CoffFile() { close(); }

void CoffFile::close() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
}

bool CoffFile::read_at(uint64_t position, uint8_t* buffer, size_t count) const {
    return read_file_at(stream_, file_size_, position, buffer, count);
}

void CoffFile::read_error() const { diag_.fatal("error reading COFF file"); }

// The two header faults that end the run at once with status -1 (255), their
// text written to standard error as it stands.
void CoffFile::header_abort(const char* text) const {
    const std::string message = std::string("Error reading COFF file - ") + text;
    diag_.abort_with_text(message.c_str(), 255);
}

void CoffFile::read_headers(bool trace) {
    swapped_ = false;

    // The file's size bounds every count, offset and size read from it.
    file_size_ = 0;
    if (stream_ == nullptr || !stream_size(stream_, file_size_)) read_error();

    uint8_t fh[FILE_HEADER_READ];
    if (!read_at(0, fh, sizeof fh)) read_error();

    uint16_t magic = get_le16(fh);
    if (!is_coff_magic(magic)) {
        magic = swap16(magic);
        if (!is_coff_magic(magic)) diag_.fatal("COFF file has wrong magic number");
        swapped_ = true;
    }
    const bool sw = swapped_;
    FileHeader& h = header_;
    h.magic = magic;
    h.section_count = get16(fh + 2, sw);
    h.time_stamp = get32(fh + 4, sw);
    h.symbol_pos = get32(fh + 8, sw);
    h.symbol_count = get32(fh + 12, sw);
    h.opt_header_size = get16(fh + 16, sw);
    h.flags = get16(fh + 18, sw);
    h.target_id = get16(fh + 20, sw);
    big_endian_data_ = (h.flags & 0x0200) != 0;

    if (magic == 0x00C1 || magic == 0x00C2) {
        if (h.target_id != 0x0099) diag_.fatal("COFF file has wrong magic number");
        version_ = magic == 0x00C1 ? 1 : 2;
    } else {
        version_ = 0;
    }
    const size_t file_header_length = version_ == 0 ? 20 : 22;

    has_opt_header_ = false;
    if (h.opt_header_size == OPT_HEADER_SIZE) {
        uint8_t oh[OPT_HEADER_SIZE];
        if (!read_at(file_header_length, oh, sizeof oh)) read_error();
        OptionalHeader& o = opt_header_;
        o.magic = get16(oh, sw);
        o.version_stamp = get16(oh + 2, sw);
        o.code_size = get32(oh + 4, sw);
        o.data_size = get32(oh + 8, sw);
        o.bss_size = get32(oh + 12, sw);
        o.entry = get32(oh + 16, sw);
        o.code_start = get32(oh + 20, sw);
        o.data_start = get32(oh + 24, sw);
        has_opt_header_ = true;
        entry_address_ = o.entry;
    }

    read_string_table(trace);

    // Section headers: refused before anything is allocated for them when
    // the file cannot hold as many as it claims.
    sections_.clear();
    const size_t header_length = version_ == 2 ? 48 : 40;
    const uint64_t first = file_header_length + h.opt_header_size;
    const uint64_t total = static_cast<uint64_t>(h.section_count) * header_length;
    if (first > file_size_ || total > file_size_ - first) read_error();
    std::vector<uint8_t> raw(total);
    if (total != 0 && !read_at(first, raw.data(), raw.size())) read_error();
    sections_.resize(h.section_count);
    for (size_t i = 0; i < h.section_count; ++i)
        decode_section_header(raw.data() + i * header_length, sections_[i]);
}

void CoffFile::trace_headers() const {
    diag_.trace("   %d sections, %s format, %s data\n   %s\n", static_cast<int>(header_.section_count),
                swapped_ ? "swapped" : "unswapped", big_endian_data_ ? "big-E" : "little-E",
                "No relocation");
}

void CoffFile::read_string_table(bool trace) {
    strings_.clear();
    has_string_table_ = false;
    if (header_.symbol_count == 0) return;

    // No readable size word: the file simply has no string table.
    const uint64_t position =
        header_.symbol_pos + static_cast<uint64_t>(SYMBOL_ENTRY_SIZE) * header_.symbol_count;
    uint8_t word[4];
    if (!read_at(position, word, sizeof word)) return;

    const uint32_t size = get32(word, swapped_);
    const long length = static_cast<long>(size) - 4;
    if (trace)
        diag_.trace("   %ld symbols.  String table size=%ld\n", static_cast<long>(header_.symbol_count),
                    length);
    if (length == 0) return;
    if (length < 0) read_error();
    // A size beyond the end of the file is refused before any allocation.
    if (static_cast<uint64_t>(length) > file_size_ - (position + 4)) read_error();

    std::vector<char> text(static_cast<size_t>(length));
    if (!read_at(position + 4, reinterpret_cast<uint8_t*>(text.data()), text.size())) read_error();

    // Keep the text up to and including its last NUL.
    size_t kept = text.size();
    while (kept > 0 && text[kept - 1] != '\0') --kept;
    text.resize(kept);
    strings_ = std::move(text);
    has_string_table_ = true;
}

const char* CoffFile::string_at(uint32_t offset) const {
    if (offset < 4 || offset - 4 >= strings_.size()) return nullptr;
    return strings_.data() + (offset - 4);
}

// Decodes one section header (48 bytes in version 2, 40 otherwise).
void CoffFile::decode_section_header(const uint8_t* p, SectionEntry& e) {
    const bool sw = swapped_;
    bool long_name = p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0;
    uint32_t name_offset = 0;
    char inline_name[9] = {};
    if (version_ == 2) {
        if (long_name) name_offset = get32(p + 4, sw);
        else std::memcpy(inline_name, p, 8);
        e.paddr = get32(p + 8, sw);
        e.vaddr = get32(p + 12, sw);
        e.size = get32(p + 16, sw);
        e.data_pos = get32(p + 20, sw);
        e.reloc_pos = get32(p + 24, sw);
        e.lineno_pos = get32(p + 28, sw);
        e.reloc_count = get32(p + 32, sw);
        e.lineno_count = get32(p + 36, sw);
        e.flags = get32(p + 40, sw);
        e.reserved = get_le16(p + 44);  // kept as it stands, never swapped
        e.page = get16(p + 46, sw);
    } else {
        // Names are inline only; a name whose first byte is NUL reads as
        // all zeros, which is a string-table reference with offset 0.
        std::strncpy(inline_name, reinterpret_cast<const char*>(p), 8);
        long_name = inline_name[0] == '\0';
        e.paddr = get32(p + 8, sw);
        e.vaddr = get32(p + 12, sw);
        e.size = get32(p + 16, sw);
        e.data_pos = get32(p + 20, sw);
        e.reloc_pos = get32(p + 24, sw);
        e.lineno_pos = get32(p + 28, sw);
        e.reloc_count = get16(p + 32, sw);
        e.lineno_count = get16(p + 34, sw);
        e.flags = get16(p + 36, sw);
        e.page = p[39];
    }
    inline_name[8] = '\0';
    e.long_name = long_name;
    if (!long_name) {
        e.name = inline_name;
    } else {
        // A string-table name: the offset must name a text of the table.
        if (!has_string_table_) header_abort("corrupted section header");
        const char* text = string_at(name_offset);
        if (text == nullptr) header_abort("illegal string table offset in section header\n");
        e.name = text;
    }
    // Sections load and run at their virtual address. Dummy and no-load
    // sections are never loaded; copy sections are not loaded as they
    // stand, and the one named ".cinit" holds autoinitialization records.
    e.load = e.vaddr;
    e.loadable = (e.flags & (STYP_DSECT | STYP_NOLOAD)) == 0;
    e.copy = (e.flags & STYP_COPY) != 0;
    e.cinit = e.copy && e.name == ".cinit";
}

// ---------------------------------------------------------------- symbols

void CoffFile::read_symbols(SymbolTable& table, int symbol_trace) const {
    // Reads `count` bytes of the symbol table at entry `index`.
    auto read_entries = [&](uint64_t index, uint8_t* buffer, size_t count) {
        const uint64_t position = header_.symbol_pos + SYMBOL_ENTRY_SIZE * index;
        return read_at(position, buffer, count);
    };
    auto symbol_read_error = [&]() { diag_.fatal("symbol read error"); };

    const uint32_t count = header_.symbol_count;
    for (uint32_t index = 0; index < count;) {
        uint8_t raw[2 * SYMBOL_ENTRY_SIZE];
        if (!read_entries(index, raw, SYMBOL_ENTRY_SIZE)) symbol_read_error();
        const uint8_t aux = raw[17];
        // The first auxiliary entry is read with the entry and not used.
        if (aux != 0 && !read_entries(static_cast<uint64_t>(index) + 1, raw + SYMBOL_ENTRY_SIZE,
                                      SYMBOL_ENTRY_SIZE))
            symbol_read_error();

        SymbolFileEntry entry;
        if (raw[0] == 0 && raw[1] == 0 && raw[2] == 0 && raw[3] == 0) {
            entry.in_string_table = true;
            entry.name_offset = get32(raw + 4, swapped_);
            // The offset must name a text of the file's string table, never a
            // place past it.
            const char* text = string_at(entry.name_offset);
            if (text == nullptr) symbol_read_error();
            entry.name = text;
        } else {
            char name[9] = {};
            std::memcpy(name, raw, 8);
            entry.name = name;
        }
        entry.value = get32(raw + 8, swapped_);
        entry.section = static_cast<int16_t>(get16(raw + 12, swapped_));
        entry.type = get16(raw + 14, swapped_);
        entry.storage_class = raw[16];
        entry.aux_count = aux;

        if (entry.storage_class == C_EXT || entry.storage_class == C_EXTREF) {
            const int bucket = table.add(entry);
            if (bucket >= 0 && symbol_trace != 0)
                diag_.trace("Adding symbol %-15.15s, type %s, address %#08lx, index %d\n",
                            entry.name.c_str(), entry.storage_class == C_EXT ? "C_EXT" : "C_EXTREF",
                            static_cast<unsigned long>(entry.value), bucket);
        } else if (symbol_trace != 0) {
            diag_.trace("Skip   symbol %-15.15s, type %d\n", entry.name.c_str(), entry.storage_class);
        }
        const uint64_t next = static_cast<uint64_t>(index) + 1 + aux;
        if (next >= count) break;
        index = static_cast<uint32_t>(next);
    }
}

}  // namespace coffhex
