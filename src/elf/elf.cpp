// The ELF reader: ELF header, program headers, section headers, .symtab
// and section bytes of a 32-bit ELF file of this target.
#include "elf/elf.h"

#include <cstring>

#include "diag/diag.h"
#include "object/byteorder.h"
#include "object/sym.h"
#include "platform/platform.h"

namespace coffhex {

namespace {

constexpr size_t ELF32_HEADER_SIZE = 52;
constexpr uint32_t ELF32_PHDR_SIZE = 32;
constexpr uint32_t ELF32_SHDR_SIZE = 40;
constexpr uint32_t ELF32_SYM_SIZE = 16;

constexpr uint8_t ELFCLASS32 = 1;
constexpr uint8_t ELFCLASS64 = 2;
constexpr uint8_t ELFDATA2LSB = 1;
constexpr uint8_t ELFDATA2MSB = 2;

constexpr uint32_t SHT_SYMTAB = 2;
constexpr uint32_t SHT_STRTAB = 3;
constexpr uint32_t SHT_NOBITS = 8;
constexpr uint32_t SHF_ALLOC = 0x2;
constexpr uint32_t PT_LOAD = 1;
constexpr uint16_t SHN_UNDEF = 0;
constexpr uint16_t SHN_LORESERVE = 0xFF00;
constexpr uint16_t SHN_XINDEX = 0xFFFF;
constexpr uint8_t STB_GLOBAL = 1;
constexpr uint8_t STB_WEAK = 2;

// A PT_LOAD segment: where it runs and where it is loaded.
struct Segment {
    uint32_t offset = 0;
    uint32_t vaddr = 0;
    uint32_t paddr = 0;
    uint32_t filesz = 0;
    uint32_t memsz = 0;
};

bool inside(uint64_t start, uint64_t size, uint64_t outer_start, uint64_t outer_size) {
    return start >= outer_start && start + size <= outer_start + outer_size;
}

}  // namespace

bool is_elf_identification(const uint8_t* bytes, size_t count) {
    return count >= 4 && bytes[0] == 0x7F && bytes[1] == 'E' && bytes[2] == 'L' && bytes[3] == 'F';
}

bool ElfFile::RawSection::has_contents() const { return type != SHT_NOBITS && size != 0; }

ElfFile::ElfFile(FILE* stream, std::string name, Diagnostics& diag)
    : stream_(stream), name_(std::move(name)), diag_(diag) {}

ElfFile::~ElfFile() { close(); }

void ElfFile::close() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
}

bool ElfFile::read_at(uint64_t position, uint8_t* buffer, size_t count) const {
    return read_file_at(stream_, file_size_, position, buffer, count);
}

void ElfFile::damaged(const char* reason) const {
    diag_.fatal("error reading ELF file '%s': %s", name_.c_str(), reason);
}

void ElfFile::damaged_section(const char* reason, uint32_t index) const {
    diag_.fatal("error reading ELF file '%s': section %lu %s", name_.c_str(),
                static_cast<unsigned long>(index), reason);
}

// Header fields are read in the file's data encoding.
uint16_t ElfFile::u16(const uint8_t* p) const { return get16(p, big_endian_); }
uint32_t ElfFile::u32(const uint8_t* p) const { return get32(p, big_endian_); }

const char* ElfFile::string_in(const std::vector<char>& table, uint32_t offset) const {
    if (offset >= table.size()) return nullptr;
    if (std::memchr(table.data() + offset, '\0', table.size() - offset) == nullptr) return nullptr;
    return table.data() + offset;
}

// The bytes of a string table section; its bounds were checked with the
// section header table.
std::vector<char> ElfFile::read_string_table(uint32_t index) const {
    const RawSection& s = raw_[index];
    if (s.type != SHT_STRTAB) damaged_section("is named as a string table but is none", index);
    std::vector<char> text(s.size);
    if (s.size != 0 && !read_at(s.offset, reinterpret_cast<uint8_t*>(text.data()), text.size()))
        damaged_section("cannot be read", index);
    return text;
}

// The ELF header, the program header table and the section header table
// must not overlap one another.
void ElfFile::check_tables_apart(uint64_t ph_start, uint64_t ph_size, uint64_t sh_start,
                                 uint64_t sh_size) const {
    auto overlap = [](uint64_t a, uint64_t an, uint64_t b, uint64_t bn) {
        return an != 0 && bn != 0 && a < b + bn && b < a + an;
    };
    if (overlap(0, ELF32_HEADER_SIZE, ph_start, ph_size))
        damaged("the program header table overlaps the ELF header");
    if (overlap(0, ELF32_HEADER_SIZE, sh_start, sh_size))
        damaged("the section header table overlaps the ELF header");
    if (overlap(ph_start, ph_size, sh_start, sh_size))
        damaged("the program header table overlaps the section header table");
}

void ElfFile::read_headers(bool trace) {
    file_size_ = 0;
    if (stream_ == nullptr || !stream_size(stream_, file_size_)) damaged("the file cannot be read");

    uint8_t eh[64] = {};
    const size_t ident_read = file_size_ < sizeof eh ? static_cast<size_t>(file_size_) : sizeof eh;
    if (ident_read < 20 || !read_at(0, eh, ident_read)) damaged("the ELF header is cut short");
    const uint8_t elf_class = eh[4];
    const uint8_t encoding = eh[5];
    if (encoding != ELFDATA2LSB && encoding != ELFDATA2MSB)
        diag_.fatal("input file '%s' is an ELF file of unknown data encoding %u", name_.c_str(),
                    static_cast<unsigned>(encoding));
    big_endian_ = encoding == ELFDATA2MSB;
    const unsigned machine = u16(eh + 18);
    if (elf_class == ELFCLASS64)
        diag_.fatal("input file '%s' is a 64-bit ELF file for machine %u, not for this target "
                    "(32-bit, machine %u)",
                    name_.c_str(), machine, static_cast<unsigned>(ELF_MACHINE));
    if (elf_class != ELFCLASS32)
        diag_.fatal("input file '%s' is an ELF file of unknown class %u", name_.c_str(),
                    static_cast<unsigned>(elf_class));
    if (machine != ELF_MACHINE)
        diag_.fatal("input file '%s' is an ELF file for machine %u, not for this target (machine %u)",
                    name_.c_str(), machine, static_cast<unsigned>(ELF_MACHINE));
    if (file_size_ < ELF32_HEADER_SIZE) damaged("the ELF header is cut short");

    // Header fields and the target data share the file's data encoding.
    big_endian_data_ = big_endian_;
    entry_address_ = u32(eh + 24);
    const uint32_t phoff = u32(eh + 28);
    const uint32_t shoff = u32(eh + 32);
    const uint32_t phentsize = u16(eh + 42);
    const uint32_t phnum = u16(eh + 44);
    const uint32_t shentsize = u16(eh + 46);
    uint32_t shnum = u16(eh + 48);
    uint32_t shstrndx = u16(eh + 50);

    // Section header table. With more sections than the field holds, the
    // count and the name table's index stand in the first entry.
    raw_.clear();
    if (shoff != 0) {
        if (shentsize < ELF32_SHDR_SIZE) damaged("the section header entries are too short");
        uint8_t first[ELF32_SHDR_SIZE];
        if (!read_at(shoff, first, sizeof first)) damaged("the section header table lies past the end of the file");
        if (shnum == 0) shnum = u32(first + 20);
        if (shstrndx == SHN_XINDEX) shstrndx = u32(first + 24);
    } else {
        shnum = 0;
    }
    const uint64_t sh_size = static_cast<uint64_t>(shnum) * shentsize;
    if (shnum != 0 && (shoff > file_size_ || sh_size > file_size_ - shoff))
        damaged("the section header table lies past the end of the file");
    const uint64_t ph_size = phoff != 0 ? static_cast<uint64_t>(phnum) * phentsize : 0;
    if (ph_size != 0) {
        if (phentsize < ELF32_PHDR_SIZE) damaged("the program header entries are too short");
        if (phoff > file_size_ || ph_size > file_size_ - phoff)
            damaged("the program header table lies past the end of the file");
    }
    check_tables_apart(phoff, ph_size, shoff, shnum != 0 ? sh_size : 0);

    // Program headers: the PT_LOAD segments.
    std::vector<Segment> segments;
    for (uint32_t i = 0; i < (ph_size != 0 ? phnum : 0); ++i) {
        uint8_t p[ELF32_PHDR_SIZE];
        if (!read_at(phoff + static_cast<uint64_t>(i) * phentsize, p, sizeof p))
            damaged("the program header table lies past the end of the file");
        if (u32(p) != PT_LOAD) continue;
        Segment s;
        s.offset = u32(p + 4);
        s.vaddr = u32(p + 8);
        s.paddr = u32(p + 12);
        s.filesz = u32(p + 16);
        s.memsz = u32(p + 20);
        if (s.filesz != 0 && (s.offset > file_size_ || s.filesz > file_size_ - s.offset))
            damaged("a segment lies past the end of the file");
        segments.push_back(s);
    }

    // Section headers, each checked against the file.
    std::vector<uint8_t> table(static_cast<size_t>(sh_size));
    if (!table.empty() && !read_at(shoff, table.data(), table.size()))
        damaged("the section header table lies past the end of the file");
    raw_.resize(shnum);
    symtab_ = 0;
    for (uint32_t i = 0; i < shnum; ++i) {
        const uint8_t* p = table.data() + static_cast<size_t>(i) * shentsize;
        RawSection& s = raw_[i];
        s.name = u32(p);
        s.type = u32(p + 4);
        s.flags = u32(p + 8);
        s.addr = u32(p + 12);
        s.offset = u32(p + 16);
        s.size = u32(p + 20);
        s.link = u32(p + 24);
        s.entsize = u32(p + 36);
        if (i == 0) continue;
        if (s.has_contents()) {
            if (s.offset > file_size_ || s.size > file_size_ - s.offset)
                damaged_section("lies past the end of the file", i);
            if (s.offset < ELF32_HEADER_SIZE) damaged_section("overlaps the ELF header", i);
        }
        if (s.type == SHT_SYMTAB && symtab_ == 0) symtab_ = i;
    }

    // Section names.
    std::vector<char> names;
    if (shstrndx != 0) {
        if (shstrndx >= shnum) damaged("the section name table is not a section of the file");
        names = read_string_table(shstrndx);
    }

    sections_.clear();
    indices_.clear();
    sections_.reserve(shnum);
    for (uint32_t i = 1; i < shnum; ++i) {
        const RawSection& s = raw_[i];
        SectionEntry e;
        if (shstrndx != 0) {
            const char* text = string_in(names, s.name);
            if (text == nullptr) damaged_section("has a name outside the section name table", i);
            e.name = text;
        }
        e.vaddr = s.addr;
        e.size = s.size;
        e.flags = s.flags;
        e.page = 0;
        e.data_pos = s.has_contents() ? s.offset : 0;
        e.loadable = (s.flags & SHF_ALLOC) != 0;
        // The load address: where the section's PT_LOAD segment puts it;
        // the run address for a section in no segment.
        uint32_t load = s.addr;
        if (e.loadable) {
            for (const Segment& g : segments) {
                if (!inside(s.addr, s.size, g.vaddr, g.memsz)) continue;
                if (s.has_contents() && !inside(s.offset, s.size, g.offset, g.filesz)) continue;
                load = g.paddr + (s.addr - g.vaddr);
                break;
            }
        }
        e.paddr = load;
        e.load = load;
        sections_.push_back(std::move(e));
        indices_.push_back(i);
    }

    if (symtab_ != 0) {
        const RawSection& st = raw_[symtab_];
        if (st.entsize < ELF32_SYM_SIZE) damaged_section("has symbol entries that are too short", symtab_);
        if (st.link == 0 || st.link >= shnum) damaged_section("names no string table", symtab_);
        if (trace)
            diag_.trace("   %ld symbols.  String table size=%ld\n", static_cast<long>(st.size / st.entsize),
                        static_cast<long>(raw_[st.link].size));
    }
}

void ElfFile::trace_headers() const {
    diag_.trace("   %d sections, ELF format, %s data\n   %s\n", static_cast<int>(sections_.size()),
                big_endian_data_ ? "big-E" : "little-E", "No relocation");
}

void ElfFile::read_symbols(SymbolTable& table, int symbol_trace) const {
    if (symtab_ == 0) return;
    const RawSection& st = raw_[symtab_];
    const std::vector<char> names = read_string_table(st.link);
    const uint32_t count = st.size / st.entsize;
    // Entry 0 is the undefined symbol of every table.
    for (uint32_t i = 1; i < count; ++i) {
        uint8_t p[ELF32_SYM_SIZE];
        if (!read_at(st.offset + static_cast<uint64_t>(i) * st.entsize, p, sizeof p))
            damaged_section("cannot be read", symtab_);
        const char* name = string_in(names, u32(p));
        if (name == nullptr) damaged_section("has a symbol name outside its string table", symtab_);
        const uint32_t value = u32(p + 4);
        const uint8_t info = p[12];
        const uint16_t shndx = u16(p + 14);
        const uint8_t binding = static_cast<uint8_t>(info >> 4);
        // Defined global and weak symbols name addresses; local and
        // undefined ones are not kept.
        const bool kept = (binding == STB_GLOBAL || binding == STB_WEAK) && shndx != SHN_UNDEF &&
                          (shndx < SHN_LORESERVE || shndx == 0xFFF1 /* absolute */);
        if (!kept) {
            if (symbol_trace != 0) diag_.trace("Skip   symbol %-15.15s, type %d\n", name, binding);
            continue;
        }
        SymbolFileEntry entry;
        entry.name = name;
        entry.value = value;
        entry.type = static_cast<uint16_t>(info & 0xF);
        entry.storage_class = binding;
        const int bucket = table.add(entry);
        if (bucket >= 0 && symbol_trace != 0)
            diag_.trace("Adding symbol %-15.15s, type %s, address %#08lx, index %d\n", name,
                        binding == STB_GLOBAL ? "STB_GLOBAL" : "STB_WEAK",
                        static_cast<unsigned long>(value), bucket);
    }
}

void ElfFile::read_section_data(const std::vector<int>& order, ChunkSink& sink, bool trace) const {
    // Read in large blocks, handed on in chunks; no section is ever held in
    // memory whole.
    std::vector<uint8_t> block;
    for (int index : order) {
        const SectionEntry& e = sections_[static_cast<size_t>(index)];
        if (!e.loads_raw_data()) continue;
        const bool whole = stream_ != nullptr &&
                           stream_section_chunks(stream_, e.data_pos, e.size, block,
                                                 [&](const uint8_t* bytes, uint32_t offset, uint32_t n) {
                                                     sink.load_chunk(index, e, bytes, n,
                                                                     e.vaddr + offset, e.page);
                                                     if (trace) diag_.trace(".");
                                                 });
        if (!whole) damaged_section("cannot be read", indices_[static_cast<size_t>(index)]);
    }
}

}  // namespace coffhex
