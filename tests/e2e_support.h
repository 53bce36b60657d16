// Shared pieces of the end-to-end tests: object descriptions from byte
// vectors, an independent model of what every lane file must hold, plain
// record encoders written from the record grammars, and the external readers
// (srec_cat, objcopy) that read the output files back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/harness.h"

namespace e2e {

using ByteMap = std::map<uint32_t, uint8_t>;

using testsupport::counting_bytes;
using testsupport::test_bytes;

// "  bytes .." lines of a section's raw data for a fixture description.
inline std::string bytes_lines(const std::vector<uint8_t>& bytes) {
    std::string text;
    char pair[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 32 == 0) text += "  bytes";
        std::snprintf(pair, sizeof pair, " %02X", bytes[i]);
        text += pair;
        if (i % 32 == 31 || i + 1 == bytes.size()) text += "\n";
    }
    return text;
}

inline std::string hex2(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

inline std::string hexn(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// ---------------------------------------------------------------------------
// Lane model.
//
// A memory word of memwidth bytes is made of memwidth / datawidth data words,
// each read in the input file's byte order. With LS order the data word at the
// lower address is the least significant part of the memory word, with MS the
// most significant part. The file at list position i holds bits
// i*romwidth*8 .. (i+1)*romwidth*8-1 of every memory word, most significant
// byte first. A ROM wider than the memory holds whole memory words, each most
// significant byte first, the lower address first.

struct Layout {
    int memwidth = 4;   // bytes
    int romwidth = 1;   // bytes
    int datawidth = 1;  // bytes
    bool big_endian_input = false;
    bool order_ms = false;

    int files() const { return romwidth < memwidth ? memwidth / romwidth : 1; }
};

// Value of the memory word at `word` (memwidth bytes, at most 8).
inline uint64_t memory_word_value(const uint8_t* word, const Layout& layout) {
    const int per_word = layout.memwidth / layout.datawidth;
    uint64_t value = 0;
    for (int j = 0; j < per_word; ++j) {
        uint64_t data = 0;
        for (int b = 0; b < layout.datawidth; ++b) {
            const uint8_t byte = word[j * layout.datawidth + b];
            const int shift = layout.big_endian_input ? 8 * (layout.datawidth - 1 - b) : 8 * b;
            data |= static_cast<uint64_t>(byte) << shift;
        }
        const int slot = layout.order_ms ? per_word - 1 - j : j;
        value |= data << (8 * layout.datawidth * slot);
    }
    return value;
}

// The bytes file `file` receives for one memory word, most significant first.
inline std::vector<uint8_t> lane_of_word(const uint8_t* word, const Layout& layout, int file) {
    const uint64_t value = memory_word_value(word, layout);
    const int width = layout.romwidth < layout.memwidth ? layout.romwidth : layout.memwidth;
    const int low_bit = layout.romwidth < layout.memwidth ? 8 * layout.romwidth * file : 0;
    std::vector<uint8_t> lane(static_cast<size_t>(width));
    for (int b = 0; b < width; ++b)
        lane[static_cast<size_t>(b)] =
            static_cast<uint8_t>(value >> (low_bit + 8 * (width - 1 - b)));
    return lane;
}

// One piece that reaches a file: the output address it is written at and its
// bytes, and whether it must begin a record (the first piece of a section or
// after an address jump).
struct Piece {
    uint32_t output_address;
    std::vector<uint8_t> bytes;
    bool starts_record;
};

// A run of consecutive memory words written to one range: `data` starts at
// memory address `address` and the run starts a record in every file.
struct Run {
    uint32_t address;
    std::vector<uint8_t> data;  // whole memory words
};

// The pieces file `file` receives for the runs. Without -byte the output
// address is the memory address, advancing by memwidth per memory word;
// with -byte a ROM narrower than the memory is addressed in its own bytes
// (memory word w at w * romwidth). A ROM wider than the memory takes pieces
// of romwidth bytes, the output address advancing by the piece.
inline std::vector<Piece> file_pieces(const std::vector<Run>& runs, const Layout& layout, int file,
                                      bool byte_addressing = false) {
    std::vector<Piece> pieces;
    const uint32_t W = static_cast<uint32_t>(layout.memwidth);
    const uint32_t R = static_cast<uint32_t>(layout.romwidth);
    for (const Run& run : runs) {
        bool first = true;
        if (R <= W) {
            uint32_t out = byte_addressing && R < W ? run.address / W * R : run.address;
            const uint32_t step = byte_addressing ? R : W;
            for (size_t at = 0; at + W <= run.data.size(); at += W) {
                pieces.push_back({out, lane_of_word(run.data.data() + at, layout, file), first});
                first = false;
                out += step;
            }
        } else {
            std::vector<uint8_t> lane;
            for (size_t at = 0; at < run.data.size(); at += W) {
                std::vector<uint8_t> word = lane_of_word(run.data.data() + at, layout, 0);
                lane.insert(lane.end(), word.begin(), word.end());
            }
            uint32_t out = run.address;
            for (size_t at = 0; at < lane.size(); at += R) {
                const size_t n = std::min<size_t>(R, lane.size() - at);
                pieces.push_back({out, std::vector<uint8_t>(lane.begin() + static_cast<long>(at),
                                                            lane.begin() + static_cast<long>(at + n)),
                                  first});
                first = false;
                out += static_cast<uint32_t>(n);
            }
        }
    }
    return pieces;
}

// Where a reader of the record file finds the pieces: a record's address
// field is the output address of its first piece and the record's bytes
// follow one another from there. A record takes pieces until it holds
// `per_record` bytes or more; Intel also starts a record where the upper 16
// bits of the output address change.
inline ByteMap reader_view(const std::vector<Piece>& pieces, size_t per_record, bool intel) {
    ByteMap view;
    bool open = false;
    uint32_t record_address = 0, last = 0;
    size_t held = 0;
    for (const Piece& piece : pieces) {
        if (open && held >= per_record) open = false;
        if (piece.starts_record) open = false;
        if (open && intel && (piece.output_address >> 16) != (last >> 16)) open = false;
        if (!open) {
            open = true;
            record_address = piece.output_address;
            held = 0;
        }
        for (uint8_t b : piece.bytes) view[record_address + static_cast<uint32_t>(held++)] = b;
        last = piece.output_address;
    }
    return view;
}

// The plain image: every piece's bytes at its own output address onward.
inline ByteMap address_view(const std::vector<Piece>& pieces) {
    ByteMap view;
    for (const Piece& piece : pieces)
        for (size_t k = 0; k < piece.bytes.size(); ++k)
            view[piece.output_address + static_cast<uint32_t>(k)] = piece.bytes[k];
    return view;
}

// ---------------------------------------------------------------------------
// Record encoders, written from the record grammars.

// ":" LL AAAA 00 data CC; CC = two's complement of the byte sum.
inline std::string intel_data(uint32_t address, const std::vector<uint8_t>& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + ((address >> 8) & 0xFF) + (address & 0xFF);
    std::string line = ":" + hex2(static_cast<unsigned>(data.size())) + hexn(address & 0xFFFF, 4) + "00";
    for (uint8_t b : data) {
        line += hex2(b);
        sum += b;
    }
    return line + hex2((0x100 - (sum & 0xFF)) & 0xFF) + "\n";
}

inline std::string intel_upper(uint32_t upper) {
    unsigned sum = 2 + 4 + ((upper >> 8) & 0xFF) + (upper & 0xFF);
    return ":02000004" + hexn(upper & 0xFFFF, 4) + hex2((0x100 - (sum & 0xFF)) & 0xFF) + "\n";
}

// The Intel records of one file for its pieces (lane bytes at their output
// addresses): a record takes pieces until it holds 32 bytes or more, starts
// afresh where a piece must begin a record or the upper 16 bits of the
// output address change (after an extended linear address record when they
// differ from the last record's, which start at 0).
inline std::string intel_records(const std::vector<Piece>& pieces) {
    std::string text;
    std::vector<uint8_t> record;
    uint32_t record_address = 0, last = 0, upper = 0;
    auto end_record = [&]() {
        if (!record.empty()) text += intel_data(record_address, record);
        record.clear();
    };
    bool open = false;
    for (const Piece& piece : pieces) {
        if (open && (record.size() >= 32 || piece.starts_record ||
                     (piece.output_address >> 16) != (last >> 16))) {
            end_record();
            open = false;
        }
        if (!open) {
            if ((piece.output_address >> 16) != upper) {
                upper = piece.output_address >> 16;
                text += intel_upper(upper);
            }
            record_address = piece.output_address;
            open = true;
        }
        record.insert(record.end(), piece.bytes.begin(), piece.bytes.end());
        last = piece.output_address;
    }
    end_record();
    return text;
}

// "S" type LL address data CC; LL counts address, data and checksum bytes,
// CC = one's complement of their sum (with LL).
inline std::string srecord(char type, int address_bytes, uint32_t address,
                           const std::vector<uint8_t>& data) {
    const unsigned count = static_cast<unsigned>(address_bytes + data.size() + 1);
    unsigned sum = count;
    std::string line = std::string("S") + type + hex2(count);
    for (int i = address_bytes - 1; i >= 0; --i) {
        const unsigned byte = (address >> (8 * i)) & 0xFF;
        line += hex2(byte);
        sum += byte;
    }
    for (uint8_t b : data) {
        line += hex2(b);
        sum += b;
    }
    return line + hex2(~sum & 0xFF) + "\n";
}

// "%" LL T CC "8" AAAAAAAA data; LL counts the characters after "%", CC is
// the sum of the values of all hex digits after "%" (CC itself left out).
inline std::string tektronix(char type, uint32_t address, const std::vector<uint8_t>& data) {
    std::string body = std::string(1, type) + "8" + hexn(address, 8);
    for (uint8_t b : data) body += hex2(b);
    const unsigned length = static_cast<unsigned>(body.size() + 4);
    std::string digits = hex2(length) + body;
    unsigned sum = 0;
    for (char c : digits) sum += static_cast<unsigned>(c <= '9' ? c - '0' : c - 'A' + 10);
    return "%" + hex2(length) + std::string(1, type) + hex2(sum) + body.substr(1) + "\n";
}

// ---------------------------------------------------------------------------
// External readers.

inline bool have_tool(const char* name) {
    return testsupport::run_program({"sh", "-c", std::string("command -v ") + name + " >/dev/null"}, "")
               .status == 0;
}

// Under CI (CI=true) a missing reader fails the test: a green run there
// must be a whole one. Elsewhere the test is skipped.
inline bool running_under_ci() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

#define E2E_REQUIRE_TOOLS(condition, what)                                        \
    do {                                                                          \
        if (!(condition)) {                                                       \
            if (::e2e::running_under_ci()) FAIL() << what << " (required under CI)"; \
            GTEST_SKIP() << what;                                                 \
        }                                                                         \
    } while (0)

#define E2E_REQUIRE_READERS()                                                  \
    E2E_REQUIRE_TOOLS(::e2e::have_tool("srec_cat") && ::e2e::have_tool("objcopy"), \
                      "srec_cat (srecord) or objcopy (binutils) is not installed")

// srec_cat's hex dump lists 16 addresses a line, "AAAAAAAA: " then one "XX "
// column per address (blank where the file has no byte), then "#" and the
// characters.
inline ByteMap parse_hex_dump(const std::string& dump) {
    ByteMap bytes;
    std::istringstream lines(dump);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const uint32_t base = static_cast<uint32_t>(std::stoul(line.substr(0, colon), nullptr, 16));
        const size_t hash = line.find('#');
        const std::string cells = line.substr(colon + 2, hash == std::string::npos
                                                             ? std::string::npos
                                                             : hash - colon - 2);
        for (size_t k = 0; k < 16 && 3 * k + 1 < cells.size(); ++k) {
            const std::string cell = cells.substr(3 * k, 2);
            if (cell == "  ") continue;
            bytes[base + static_cast<uint32_t>(k)] =
                static_cast<uint8_t>(std::stoul(cell, nullptr, 16));
        }
    }
    return bytes;
}

// Reads a file with srec_cat (input format flag such as "-intel") and returns
// every byte it found at its address.
inline ByteMap srec_cat_read(const std::string& path, const std::string& format) {
    testsupport::RunResult r =
        testsupport::run_program({"srec_cat", path, format, "-o", "-", "-hex_dump"}, "");
    if (r.status != 0) {
        ADD_FAILURE() << "srec_cat " << format << " " << path << " failed: " << r.err;
        return {};
    }
    return parse_hex_dump(r.out);
}

// Reads several files with one srec_cat run: file i is moved up by i * 2^28
// so that the files stay apart, and the dump is split again.
inline std::vector<ByteMap> srec_cat_read_files(const std::vector<std::string>& paths,
                                                const std::string& format) {
    std::vector<std::string> argv = {"srec_cat"};
    for (size_t i = 0; i < paths.size(); ++i) {
        argv.insert(argv.end(), {paths[i], format, "-offset", std::to_string(i << 28)});
    }
    argv.insert(argv.end(), {"-o", "-", "-hex_dump"});
    testsupport::RunResult r = testsupport::run_program(argv, "");
    std::vector<ByteMap> maps(paths.size());
    if (r.status != 0) {
        ADD_FAILURE() << "srec_cat " << format << " failed: " << r.err;
        return maps;
    }
    for (const auto& [address, byte] : parse_hex_dump(r.out)) {
        const size_t file = address >> 28;
        if (file < maps.size()) maps[file][address & 0x0FFFFFFF] = byte;
        else ADD_FAILURE() << "srec_cat put a byte at 0x" << std::hex << address;
    }
    return maps;
}

// Reads a file with objcopy (-I bfdname -O binary): the bytes from the lowest
// address to the highest, zero in the holes.
inline std::vector<uint8_t> objcopy_read(const std::string& path, const std::string& bfdname) {
    const std::string out = path + ".objcopy.bin";
    testsupport::RunResult r = testsupport::run_program(
        {"objcopy", "-I", bfdname, "-O", "binary", path, out}, "");
    if (r.status != 0) {
        ADD_FAILURE() << "objcopy -I " << bfdname << " " << path << " failed: " << r.err;
        return {};
    }
    std::vector<uint8_t> bytes = testsupport::read_bytes(out);
    std::remove(out.c_str());
    return bytes;
}

// The byte map flattened from its lowest address, zero in the holes.
inline std::vector<uint8_t> flatten(const ByteMap& map) {
    if (map.empty()) return {};
    const uint32_t base = map.begin()->first;
    std::vector<uint8_t> image(map.rbegin()->first - base + 1, 0);
    for (const auto& [address, byte] : map) image[address - base] = byte;
    return image;
}

// Compares two byte maps address by address and names the first differences.
inline ::testing::AssertionResult same_bytes(const ByteMap& expected, const ByteMap& actual) {
    std::ostringstream problems;
    int wrong = 0;
    for (const auto& [address, byte] : expected) {
        auto it = actual.find(address);
        if (it == actual.end()) {
            if (++wrong <= 6) problems << "\n  0x" << std::hex << address << ": missing, expected 0x"
                                       << int(byte);
        } else if (it->second != byte) {
            if (++wrong <= 6) problems << "\n  0x" << std::hex << address << ": 0x" << int(it->second)
                                       << ", expected 0x" << int(byte);
        }
    }
    for (const auto& [address, byte] : actual)
        if (expected.find(address) == expected.end() && ++wrong <= 6)
            problems << "\n  0x" << std::hex << address << ": unexpected byte 0x" << int(byte);
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << wrong << " addresses differ (" << expected.size() << " expected, " << actual.size()
           << " read):" << problems.str();
}

}  // namespace e2e
