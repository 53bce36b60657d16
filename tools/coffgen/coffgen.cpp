// coffgen: COFF object files from a description (see coffgen.h).
#include "coffgen/coffgen.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace coffgen {

namespace {

// Writes fields in a chosen byte order into a growing byte vector.
class Writer {
public:
    Writer(std::vector<uint8_t>& out, bool msb_first) : out_(out), msb_(msb_first) {}
    void u8(uint8_t v) { out_.push_back(v); }
    void u16(uint16_t v) {
        if (msb_) {
            u8(static_cast<uint8_t>(v >> 8));
            u8(static_cast<uint8_t>(v));
        } else {
            u8(static_cast<uint8_t>(v));
            u8(static_cast<uint8_t>(v >> 8));
        }
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            int shift = msb_ ? 24 - 8 * i : 8 * i;
            u8(static_cast<uint8_t>(v >> shift));
        }
    }
    void bytes(const uint8_t* p, size_t n) { out_.insert(out_.end(), p, p + n); }
    void zeros(size_t n) { out_.insert(out_.end(), n, 0); }

private:
    std::vector<uint8_t>& out_;
    bool msb_;
};

// Collects the string table text; offsets count from the size word.
class StringTable {
public:
    uint32_t add(const std::string& text) {
        uint32_t offset = static_cast<uint32_t>(4 + text_.size());
        text_.insert(text_.end(), text.begin(), text.end());
        text_.push_back(0);
        return offset;
    }
    void append_raw(const std::vector<uint8_t>& bytes) {
        text_.insert(text_.end(), bytes.begin(), bytes.end());
    }
    const std::vector<uint8_t>& text() const { return text_; }

private:
    std::vector<uint8_t> text_;
};

// The 8-byte name field: inline text, or zeros and a string-table offset.
void write_name(Writer& w, const std::string& name, std::optional<uint32_t> offset) {
    if (offset) {
        w.u32(0);
        w.u32(*offset);
        return;
    }
    uint8_t field[8] = {};
    std::memcpy(field, name.data(), name.size() < 8 ? name.size() : 8);
    w.bytes(field, 8);
}

void put_word(std::vector<uint8_t>& data, uint32_t v, bool msb_first) {
    Writer w(data, msb_first);
    w.u32(v);
}

}  // namespace

int version_of(uint16_t magic) {
    switch (magic) {
    case 0x0099:
    case 0x00C0: return 0;
    case 0x00C1: return 1;
    default: return 2;
    }
}

size_t file_header_length(uint16_t magic) { return version_of(magic) == 0 ? 20 : 22; }
size_t section_header_length(uint16_t magic) { return version_of(magic) == 2 ? 48 : 40; }

void add_cinit_record(const Object& object, Section& section, uint32_t address,
                      const std::vector<uint8_t>& data) {
    while (section.data.size() % 8 != 0) section.data.push_back(0);
    put_word(section.data, static_cast<uint32_t>(data.size()), object.big_endian_data);
    put_word(section.data, address, object.big_endian_data);
    section.data.insert(section.data.end(), data.begin(), data.end());
    while (section.data.size() % 8 != 0) section.data.push_back(0);
}

void add_cinit_end(const Object&, Section& section) {
    section.data.insert(section.data.end(), 4, 0);
}

std::vector<uint8_t> pattern_bytes(size_t count, uint32_t seed) {
    std::vector<uint8_t> out(count);
    uint32_t x = seed != 0 ? seed : 0x9E3779B9u;
    for (size_t i = 0; i < count; ++i) {
        // xorshift32
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<uint8_t>(x >> 24);
    }
    return out;
}

namespace {

std::vector<uint8_t> build_coff(const Object& object) {
    const int version = version_of(object.magic);
    const size_t fh_len = file_header_length(object.magic);
    const size_t sh_len = section_header_length(object.magic);
    const bool has_opt = object.entry.has_value();
    const uint16_t opt_size =
        object.opt_header_size ? *object.opt_header_size : static_cast<uint16_t>(has_opt ? 28 : 0);

    // Names that go to the string table.
    StringTable strings;
    std::vector<std::optional<uint32_t>> section_offsets;
    for (const Section& s : object.sections) {
        if (s.name_offset) {
            section_offsets.push_back(s.name_offset);
        } else if (s.name.size() > 8) {
            if (version != 2)
                throw BuildError("section name '" + s.name +
                                 "' longer than 8 characters needs a version 2 file");
            section_offsets.push_back(strings.add(s.name));
        } else {
            section_offsets.push_back(std::nullopt);
        }
        if (version != 2) {
            if (s.flags > 0xFFFF) throw BuildError("section '" + s.name + "': flags wider than 16 bits");
            if (s.page > 0xFF) throw BuildError("section '" + s.name + "': page wider than 8 bits");
        }
    }
    std::vector<std::optional<uint32_t>> symbol_offsets;
    for (const Symbol& s : object.symbols) {
        if (s.name_offset)
            symbol_offsets.push_back(s.name_offset);
        else if (s.name.size() > 8)
            symbol_offsets.push_back(strings.add(s.name));
        else
            symbol_offsets.push_back(std::nullopt);
    }
    strings.append_raw(object.string_table_extra);

    // Positions.
    size_t pos = fh_len + opt_size + sh_len * object.sections.size();
    std::vector<uint32_t> data_positions;
    for (const Section& s : object.sections) {
        if (s.no_data || s.data.empty()) {
            data_positions.push_back(0);
        } else {
            data_positions.push_back(static_cast<uint32_t>(pos));
            pos += s.data.size();
        }
    }
    const size_t symbol_table_pos = pos;
    uint32_t symbol_entries = 0;
    for (const Symbol& s : object.symbols) {
        if (s.aux_count < 0 || s.aux_count > 255) throw BuildError("symbol '" + s.name + "': bad aux count");
        symbol_entries += 1 + static_cast<uint32_t>(s.aux_count);
    }

    std::vector<uint8_t> out;
    Writer w(out, object.swapped);

    // File header.
    w.u16(object.magic);
    w.u16(object.section_count ? *object.section_count
                               : static_cast<uint16_t>(object.sections.size()));
    w.u32(object.time_stamp);
    w.u32(object.symbol_pos ? *object.symbol_pos : static_cast<uint32_t>(symbol_table_pos));
    w.u32(object.symbol_count ? *object.symbol_count : symbol_entries);
    w.u16(opt_size);
    w.u16(static_cast<uint16_t>(object.extra_flags | (object.big_endian_data ? 0x0200 : 0)));
    if (version != 0) w.u16(object.target);

    // Optional-header area.
    {
        std::vector<uint8_t> opt;
        if (has_opt) {
            Writer o(opt, object.swapped);
            o.u16(0x0108);  // magic
            o.u16(0);       // version stamp
            uint32_t code = 0, init = 0, bss = 0;
            for (const Section& s : object.sections) {
                uint32_t size = s.size ? *s.size : static_cast<uint32_t>(s.data.size());
                if (s.flags & 0x20) code += size;
                else if (s.flags & 0x40) init += size;
                else if (s.flags & 0x80) bss += size;
            }
            o.u32(code);
            o.u32(init);
            o.u32(bss);
            o.u32(*object.entry);
            o.u32(0);  // start of code
            o.u32(0);  // start of data
        }
        opt.resize(opt_size, 0);
        w.bytes(opt.data(), opt.size());
    }

    // Section headers.
    for (size_t i = 0; i < object.sections.size(); ++i) {
        const Section& s = object.sections[i];
        write_name(w, s.name, section_offsets[i]);
        uint32_t size = s.size ? *s.size : static_cast<uint32_t>(s.data.size());
        w.u32(s.paddr);
        w.u32(s.vaddr ? *s.vaddr : s.paddr);
        w.u32(size);
        w.u32(s.data_pos ? *s.data_pos : data_positions[i]);
        w.u32(0);  // relocation entries
        w.u32(0);  // line-number entries
        if (version == 2) {
            w.u32(0);  // relocation count
            w.u32(0);  // line-number count
            w.u32(s.flags);
            w.u16(0);  // reserved
            w.u16(s.page);
        } else {
            w.u16(0);
            w.u16(0);
            w.u16(static_cast<uint16_t>(s.flags));
            w.u8(0);  // reserved
            w.u8(static_cast<uint8_t>(s.page));
        }
    }

    // Raw data.
    for (size_t i = 0; i < object.sections.size(); ++i)
        if (data_positions[i] != 0) w.bytes(object.sections[i].data.data(), object.sections[i].data.size());

    // Symbol table.
    for (size_t i = 0; i < object.symbols.size(); ++i) {
        const Symbol& s = object.symbols[i];
        write_name(w, s.name, symbol_offsets[i]);
        w.u32(s.value);
        w.u16(static_cast<uint16_t>(s.section));
        w.u16(s.type);
        w.u8(s.storage_class);
        w.u8(static_cast<uint8_t>(s.aux_count));
        w.zeros(18 * static_cast<size_t>(s.aux_count));
    }

    // String table.
    if (!strings.text().empty() || object.string_table_size) {
        w.u32(object.string_table_size ? *object.string_table_size
                                       : static_cast<uint32_t>(4 + strings.text().size()));
        w.bytes(strings.text().data(), strings.text().size());
    }

    out.insert(out.end(), object.tail.begin(), object.tail.end());
    if (object.truncate && *object.truncate < out.size()) out.resize(*object.truncate);
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// ELF output.

namespace {

// ELF32 file of the description: see coffgen.h for the layout.
std::vector<uint8_t> build_elf(const Object& object) {
    const bool msb = object.big_endian_data;
    std::vector<uint8_t> out;
    Writer w(out, msb);
    auto ident = [&](uint8_t elf_class) {
        const uint8_t id[16] = {0x7F, 'E', 'L', 'F', elf_class, static_cast<uint8_t>(msb ? 2 : 1), 1};
        w.bytes(id, sizeof id);
    };

    if (object.elf_class == 64) {
        ident(2);
        w.u16(2);  // executable
        w.u16(object.machine);
        w.u32(1);
        for (int i = 0; i < 3; ++i) {  // entry, phoff, shoff: 64 bits each
            const uint32_t low = i == 0 ? object.entry.value_or(0) : 0;
            if (msb) w.u32(0);
            w.u32(low);
            if (!msb) w.u32(0);
        }
        w.u32(0);   // flags
        w.u16(64);  // header size
        w.u16(56);
        w.u16(0);
        w.u16(64);
        w.u16(0);
        w.u16(0);
    } else {
        const size_t n = object.sections.size();
        auto run_of = [](const Section& s) { return s.vaddr ? *s.vaddr : s.paddr; };
        auto load_of = [&](const Section& s) { return s.paddr_given ? s.paddr : run_of(s); };
        auto size_of = [](const Section& s) { return s.size ? *s.size : static_cast<uint32_t>(s.data.size()); };

        // Segments: each allocated section its own, or shared by number.
        std::vector<std::vector<size_t>> segments;
        std::vector<std::pair<uint32_t, size_t>> numbered;  // segment number, index into segments
        for (size_t i = 0; i < n; ++i) {
            const Section& s = object.sections[i];
            if (s.noalloc || s.no_segment) continue;
            if (s.segment) {
                auto it = std::find_if(numbered.begin(), numbered.end(),
                                       [&](const auto& p) { return p.first == *s.segment; });
                if (it != numbered.end()) {
                    segments[it->second].push_back(i);
                    continue;
                }
                numbered.emplace_back(*s.segment, segments.size());
            }
            segments.push_back({i});
        }

        // Names.
        std::vector<uint8_t> shstrtab{0};
        auto add_name = [](std::vector<uint8_t>& table, const std::string& name) {
            const uint32_t offset = static_cast<uint32_t>(table.size());
            table.insert(table.end(), name.begin(), name.end());
            table.push_back(0);
            return offset;
        };
        std::vector<uint32_t> name_offsets;
        for (const Section& s : object.sections)
            name_offsets.push_back(s.name_offset ? *s.name_offset : add_name(shstrtab, s.name));
        const uint32_t shstrtab_name = add_name(shstrtab, ".shstrtab");
        const bool has_symbols = !object.symbols.empty();
        const uint32_t symtab_name = has_symbols ? add_name(shstrtab, ".symtab") : 0;
        const uint32_t strtab_name = has_symbols ? add_name(shstrtab, ".strtab") : 0;

        // Symbols: the null entry, the local ones, then the others.
        std::vector<uint8_t> strtab{0};
        std::vector<uint8_t> symtab(16, 0);
        uint32_t first_global = 1;
        Writer sw(symtab, msb);
        for (int pass = 0; pass < 2; ++pass) {
            for (const Symbol& s : object.symbols) {
                const uint8_t bind = s.bind.value_or(1);
                if ((bind == 0) != (pass == 0)) continue;
                sw.u32(s.name_offset ? *s.name_offset : add_name(strtab, s.name));
                sw.u32(s.value);
                sw.u32(0);
                sw.u8(static_cast<uint8_t>((bind << 4) | (s.type & 0xF)));
                sw.u8(0);
                sw.u16(s.section == -1 ? 0xFFF1 : static_cast<uint16_t>(s.section));
                if (pass == 0) ++first_global;
            }
        }

        // Positions.
        const uint32_t phoff = 52;
        size_t pos = phoff + 32 * segments.size();
        std::vector<uint32_t> offsets;
        for (const Section& s : object.sections) {
            offsets.push_back(static_cast<uint32_t>(pos));
            if (!s.nobits) pos += s.data.size();
        }
        const uint32_t shstrtab_pos = static_cast<uint32_t>(pos);
        pos += shstrtab.size();
        const uint32_t symtab_pos = static_cast<uint32_t>(pos);
        if (has_symbols) pos += symtab.size();
        const uint32_t strtab_pos = static_cast<uint32_t>(pos);
        if (has_symbols) pos += strtab.size();
        const size_t pad = (4 - pos % 4) % 4;
        const uint32_t shoff = static_cast<uint32_t>(pos + pad);
        const uint32_t shnum = static_cast<uint32_t>(1 + n + 1 + (has_symbols ? 2 : 0));

        // ELF header.
        ident(1);
        w.u16(2);  // executable
        w.u16(object.machine);
        w.u32(1);
        w.u32(object.entry.value_or(0));
        w.u32(object.phoff ? *object.phoff : (segments.empty() ? 0 : phoff));
        w.u32(object.shoff ? *object.shoff : shoff);
        w.u32(0);  // flags
        w.u16(52);
        w.u16(32);
        w.u16(static_cast<uint16_t>(segments.size()));
        w.u16(40);
        w.u16(object.section_count ? *object.section_count : static_cast<uint16_t>(shnum));
        w.u16(object.shstrndx ? *object.shstrndx : static_cast<uint16_t>(n + 1));

        // Program headers.
        for (const std::vector<size_t>& members : segments) {
            const Section& first = object.sections[members.front()];
            uint32_t filesz = 0;
            uint64_t end = run_of(first);
            for (size_t i : members) {
                const Section& s = object.sections[i];
                if (!s.nobits) filesz = offsets[i] + static_cast<uint32_t>(s.data.size()) - offsets[members.front()];
                end = std::max<uint64_t>(end, static_cast<uint64_t>(run_of(s)) + size_of(s));
            }
            w.u32(1);  // PT_LOAD
            w.u32(offsets[members.front()]);
            w.u32(run_of(first));
            w.u32(load_of(first));
            w.u32(filesz);
            w.u32(static_cast<uint32_t>(end - run_of(first)));
            w.u32(first.noalloc ? 4 : 7);  // read, write, execute
            w.u32(1);
        }

        for (const Section& s : object.sections)
            if (!s.nobits) w.bytes(s.data.data(), s.data.size());
        w.bytes(shstrtab.data(), shstrtab.size());
        if (has_symbols) {
            w.bytes(symtab.data(), symtab.size());
            w.bytes(strtab.data(), strtab.size());
        }
        w.zeros(pad);

        // Section headers.
        auto header = [&](uint32_t name, uint32_t type, uint32_t flags, uint32_t addr, uint32_t offset,
                          uint32_t size, uint32_t link, uint32_t info, uint32_t entsize) {
            w.u32(name);
            w.u32(type);
            w.u32(flags);
            w.u32(addr);
            w.u32(offset);
            w.u32(size);
            w.u32(link);
            w.u32(info);
            w.u32(1);  // alignment
            w.u32(entsize);
        };
        header(0, 0, 0, 0, 0, 0, 0, 0, 0);
        for (size_t i = 0; i < n; ++i) {
            const Section& s = object.sections[i];
            const uint32_t type = s.type ? *s.type : (s.nobits ? 8 : 1);
            const uint32_t flags = s.shflags ? *s.shflags : (s.noalloc ? 0 : 6);
            header(name_offsets[i], type, flags, s.noalloc ? 0 : run_of(s),
                   s.data_pos ? *s.data_pos : offsets[i], size_of(s), 0, 0, 0);
        }
        header(shstrtab_name, 3, 0, 0, shstrtab_pos, static_cast<uint32_t>(shstrtab.size()), 0, 0, 0);
        if (has_symbols) {
            header(symtab_name, 2, 0, 0, symtab_pos, static_cast<uint32_t>(symtab.size()),
                   static_cast<uint32_t>(n + 3), first_global, 16);
            header(strtab_name, 3, 0, 0, strtab_pos, static_cast<uint32_t>(strtab.size()), 0, 0, 0);
        }
    }

    out.insert(out.end(), object.tail.begin(), object.tail.end());
    if (object.truncate && *object.truncate < out.size()) out.resize(*object.truncate);
    return out;
}

}  // namespace

std::vector<uint8_t> build(const Object& object) {
    if (object.elf) return build_elf(object);
    return build_coff(object);
}

// ---------------------------------------------------------------------------
// Text form.

namespace {

struct Line {
    int number;
    std::vector<std::string> tokens;
};

[[noreturn]] void fail(int line, const std::string& message) {
    throw ParseError("line " + std::to_string(line) + ": " + message);
}

std::vector<std::string> tokenize(const std::string& text, int line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            size_t end = text.find('"', i + 1);
            if (end == std::string::npos) fail(line, "unterminated quote");
            tokens.push_back(text.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            size_t start = i;
            while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' &&
                   text[i] != '#')
                ++i;
            tokens.push_back(text.substr(start, i - start));
        }
    }
    return tokens;
}

uint64_t number(const std::string& text, int line, uint64_t max) {
    if (text.empty() || text[0] == '-' || text[0] == '+') fail(line, "bad number '" + text + "'");
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') fail(line, "bad number '" + text + "'");
    if (v > max) fail(line, "number '" + text + "' out of range");
    return v;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A token of hex digits: one digit, or pairs of digits.
void hex_bytes(const std::string& token, int line, std::vector<uint8_t>& out) {
    for (char c : token)
        if (hex_digit(c) < 0) fail(line, "bad hex byte '" + token + "'");
    if (token.size() == 1) {
        out.push_back(static_cast<uint8_t>(hex_digit(token[0])));
        return;
    }
    if (token.empty() || token.size() % 2 != 0) fail(line, "bad hex byte '" + token + "'");
    for (size_t i = 0; i < token.size(); i += 2)
        out.push_back(static_cast<uint8_t>(hex_digit(token[i]) * 16 + hex_digit(token[i + 1])));
}

// Splits "key=value"; returns false when there is no "=".
bool key_value(const std::string& token, std::string& key, std::string& value) {
    size_t eq = token.find('=');
    if (eq == std::string::npos) return false;
    key = token.substr(0, eq);
    value = token.substr(eq + 1);
    return true;
}

bool byte_order(const std::string& text, int line) {
    if (text == "lsb") return false;
    if (text == "msb") return true;
    fail(line, "expected lsb or msb, not '" + text + "'");
}

// Raw data of one section as written, in order; .cinit records are encoded
// at the end of parsing, when the data byte order is known.
struct DataItem {
    enum Kind { Bytes, Record, End } kind = Bytes;
    std::vector<uint8_t> bytes;
    uint32_t address = 0;
};

void need_args(const Line& l, size_t min, size_t max, const char* usage) {
    size_t n = l.tokens.size() - 1;
    if (n < min || n > max) fail(l.number, std::string("usage: ") + usage);
}

uint32_t seed_option(const Line& l, size_t index) {
    if (l.tokens.size() <= index) return 1;
    std::string key, value;
    if (!key_value(l.tokens[index], key, value) || key != "seed")
        fail(l.number, "expected seed=S, not '" + l.tokens[index] + "'");
    return static_cast<uint32_t>(number(value, l.number, 0xFFFFFFFFu));
}

}  // namespace

Object parse(const std::string& text) {
    Object object;
    std::vector<std::vector<DataItem>> items;  // per section
    bool in_section = false;

    std::istringstream in(text);
    std::string raw_line;
    int line_number = 0;
    while (std::getline(in, raw_line)) {
        ++line_number;
        Line l{line_number, tokenize(raw_line, line_number)};
        if (l.tokens.empty()) continue;
        const std::string& d = l.tokens[0];
        const int n = l.number;
        auto arg = [&](size_t i, uint64_t max) { return number(l.tokens[i], n, max); };

        // Raw-data lines of the current section.
        if (d == "bytes" || d == "raw" || d == "pattern" || d == "fill" || d == "record" ||
            d == "end-records") {
            if (!in_section) fail(n, "'" + d + "' outside a section");
            DataItem item;
            if (d == "bytes" || d == "raw") {
                for (size_t i = 1; i < l.tokens.size(); ++i) hex_bytes(l.tokens[i], n, item.bytes);
            } else if (d == "pattern") {
                need_args(l, 1, 2, "pattern N [seed=S]");
                item.bytes = pattern_bytes(static_cast<size_t>(arg(1, 0x7FFFFFFF)), seed_option(l, 2));
            } else if (d == "fill") {
                need_args(l, 2, 2, "fill N BYTE");
                item.bytes.assign(static_cast<size_t>(arg(1, 0x7FFFFFFF)),
                                  static_cast<uint8_t>(arg(2, 0xFF)));
            } else if (d == "record") {
                if (l.tokens.size() < 2) fail(n, "usage: record ADDR BYTES... | record ADDR pattern N [seed=S]");
                item.kind = DataItem::Record;
                item.address = static_cast<uint32_t>(arg(1, 0xFFFFFFFFu));
                if (l.tokens.size() >= 3 && l.tokens[2] == "pattern") {
                    if (l.tokens.size() < 4 || l.tokens.size() > 5)
                        fail(n, "usage: record ADDR pattern N [seed=S]");
                    item.bytes = pattern_bytes(static_cast<size_t>(arg(3, 0x7FFFFFFF)), seed_option(l, 4));
                } else {
                    for (size_t i = 2; i < l.tokens.size(); ++i) hex_bytes(l.tokens[i], n, item.bytes);
                }
            } else {
                need_args(l, 0, 0, "end-records");
                item.kind = DataItem::End;
            }
            items.back().push_back(std::move(item));
            continue;
        }

        in_section = false;
        if (d == "magic") {
            need_args(l, 1, 1, "magic N");
            object.magic = static_cast<uint16_t>(arg(1, 0xFFFF));
        } else if (d == "target") {
            need_args(l, 1, 1, "target N");
            object.target = static_cast<uint16_t>(arg(1, 0xFFFF));
        } else if (d == "headers") {
            need_args(l, 1, 1, "headers lsb|msb");
            object.swapped = byte_order(l.tokens[1], n);
        } else if (d == "data") {
            need_args(l, 1, 1, "data lsb|msb");
            object.big_endian_data = byte_order(l.tokens[1], n);
        } else if (d == "flags") {
            need_args(l, 1, 1, "flags N");
            object.extra_flags = static_cast<uint16_t>(arg(1, 0xFFFF));
        } else if (d == "timestamp") {
            need_args(l, 1, 1, "timestamp N");
            object.time_stamp = static_cast<uint32_t>(arg(1, 0xFFFFFFFFu));
        } else if (d == "entry") {
            need_args(l, 1, 1, "entry ADDR");
            object.entry = static_cast<uint32_t>(arg(1, 0xFFFFFFFFu));
        } else if (d == "opthdr-size") {
            need_args(l, 1, 1, "opthdr-size N");
            object.opt_header_size = static_cast<uint16_t>(arg(1, 0xFFFF));
        } else if (d == "nsections") {
            need_args(l, 1, 1, "nsections N");
            object.section_count = static_cast<uint16_t>(arg(1, 0xFFFF));
        } else if (d == "nsyms") {
            need_args(l, 1, 1, "nsyms N");
            object.symbol_count = static_cast<uint32_t>(arg(1, 0xFFFFFFFFu));
        } else if (d == "symptr") {
            need_args(l, 1, 1, "symptr N");
            object.symbol_pos = static_cast<uint32_t>(arg(1, 0xFFFFFFFFu));
        } else if (d == "strtab-size") {
            need_args(l, 1, 1, "strtab-size N");
            object.string_table_size = static_cast<uint32_t>(arg(1, 0xFFFFFFFFu));
        } else if (d == "strtab-extra") {
            for (size_t i = 1; i < l.tokens.size(); ++i) hex_bytes(l.tokens[i], n, object.string_table_extra);
        } else if (d == "tail") {
            for (size_t i = 1; i < l.tokens.size(); ++i) hex_bytes(l.tokens[i], n, object.tail);
        } else if (d == "elf") {
            need_args(l, 0, 1, "elf [32|64]");
            object.elf = true;
            if (l.tokens.size() == 2) {
                const uint64_t c = arg(1, 64);
                if (c != 32 && c != 64) fail(n, "usage: elf [32|64]");
                object.elf_class = static_cast<int>(c);
            }
        } else if (d == "machine") {
            need_args(l, 1, 1, "machine N");
            object.machine = static_cast<uint16_t>(arg(1, 0xFFFF));
        } else if (d == "shoff") {
            need_args(l, 1, 1, "shoff N");
            object.shoff = static_cast<uint32_t>(arg(1, 0xFFFFFFFFu));
        } else if (d == "phoff") {
            need_args(l, 1, 1, "phoff N");
            object.phoff = static_cast<uint32_t>(arg(1, 0xFFFFFFFFu));
        } else if (d == "shstrndx") {
            need_args(l, 1, 1, "shstrndx N");
            object.shstrndx = static_cast<uint16_t>(arg(1, 0xFFFF));
        } else if (d == "truncate") {
            need_args(l, 1, 1, "truncate N");
            object.truncate = static_cast<size_t>(arg(1, 0xFFFFFFFFu));
        } else if (d == "section") {
            if (l.tokens.size() < 2) fail(n, "usage: section NAME [key=value...] [nodata]");
            Section s;
            s.name = l.tokens[1];
            for (size_t i = 2; i < l.tokens.size(); ++i) {
                const std::string& t = l.tokens[i];
                if (t == "nodata" || t == "nobits" || t == "noalloc" || t == "nosegment") {
                    if (t == "nodata") s.no_data = true;
                    if (t == "nobits") s.nobits = true;
                    if (t == "noalloc") s.noalloc = true;
                    if (t == "nosegment") s.no_segment = true;
                    continue;
                }
                std::string key, value;
                if (!key_value(t, key, value)) fail(n, "unknown section option '" + t + "'");
                uint64_t v = number(value, n, 0xFFFFFFFFu);
                if (key == "paddr") {
                    s.paddr = static_cast<uint32_t>(v);
                    s.paddr_given = true;
                }
                else if (key == "vaddr") s.vaddr = static_cast<uint32_t>(v);
                else if (key == "size") s.size = static_cast<uint32_t>(v);
                else if (key == "flags") s.flags = static_cast<uint32_t>(v);
                else if (key == "page") {
                    if (v > 0xFFFF) fail(n, "page out of range");
                    s.page = static_cast<uint16_t>(v);
                } else if (key == "datapos") s.data_pos = static_cast<uint32_t>(v);
                else if (key == "stroff") s.name_offset = static_cast<uint32_t>(v);
                else if (key == "type") s.type = static_cast<uint32_t>(v);
                else if (key == "shflags") s.shflags = static_cast<uint32_t>(v);
                else if (key == "segment") s.segment = static_cast<uint32_t>(v);
                else fail(n, "unknown section option '" + key + "'");
            }
            object.sections.push_back(std::move(s));
            items.emplace_back();
            in_section = true;
        } else if (d == "symbol") {
            if (l.tokens.size() < 3) fail(n, "usage: symbol NAME VALUE [key=value...]");
            Symbol s;
            s.name = l.tokens[1];
            s.value = static_cast<uint32_t>(arg(2, 0xFFFFFFFFu));
            for (size_t i = 3; i < l.tokens.size(); ++i) {
                std::string key, value;
                if (!key_value(l.tokens[i], key, value)) fail(n, "unknown symbol option '" + l.tokens[i] + "'");
                if (key == "class") s.storage_class = static_cast<uint8_t>(number(value, n, 0xFF));
                else if (key == "type") s.type = static_cast<uint16_t>(number(value, n, 0xFFFF));
                else if (key == "section") {
                    // Section numbers are signed 16-bit: -1 (absolute), -2 (debug).
                    if (!value.empty() && value[0] == '-')
                        s.section = static_cast<int16_t>(-static_cast<int>(number(value.substr(1), n, 0x8000)));
                    else
                        s.section = static_cast<int16_t>(number(value, n, 0x7FFF));
                } else if (key == "aux") s.aux_count = static_cast<int>(number(value, n, 0xFF));
                else if (key == "stroff") s.name_offset = static_cast<uint32_t>(number(value, n, 0xFFFFFFFFu));
                else if (key == "bind") {
                    if (value == "local") s.bind = 0;
                    else if (value == "global") s.bind = 1;
                    else if (value == "weak") s.bind = 2;
                    else s.bind = static_cast<uint8_t>(number(value, n, 15));
                } else fail(n, "unknown symbol option '" + key + "'");
            }
            object.symbols.push_back(std::move(s));
        } else {
            fail(n, "unknown directive '" + d + "'");
        }
    }

    for (size_t i = 0; i < object.sections.size(); ++i) {
        Section& s = object.sections[i];
        for (const DataItem& item : items[i]) {
            switch (item.kind) {
            case DataItem::Bytes: s.data.insert(s.data.end(), item.bytes.begin(), item.bytes.end()); break;
            case DataItem::Record: add_cinit_record(object, s, item.address, item.bytes); break;
            case DataItem::End: add_cinit_end(object, s); break;
            }
        }
    }
    return object;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    bool ok = written == bytes.size();
    if (std::fclose(f) != 0) ok = false;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace coffgen
