// End to end, the CHECKSUMS directive: every field is read back from the
// written files (srec_cat), the memory is put together from the lanes, and
// each field's value is recomputed over its span here: CRC-32 by Python's
// zlib.crc32, CRC-16/IBM-3740 by binascii.crc_hqx(data, 0xFFFF), CRC-32/MPEG-2
// and the sums by a few lines of Python. One test has srec_cat compute the
// CRC-32 a second time. The refusals leave no output file.
#include <gtest/gtest.h>

#include <sstream>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

#define REQUIRE_FIELD_READERS()                                                                 \
    E2E_REQUIRE_TOOLS(have_tool("srec_cat") && have_tool("python3"),                            \
                      "srec_cat (srecord) or python3 is not installed")

// A field as the test expects it: its place, span (inclusive; `hole` leaves
// the field's own bytes out of a default span) and byte order.
struct Field {
    std::string name;
    std::string algorithm;
    uint32_t at;
    uint32_t first;
    uint32_t last;
    bool hole;
    bool big;
};

uint32_t field_size(const std::string& algorithm) {
    return algorithm == "crc16_ccitt" || algorithm == "sum16" ? 2 : 4;
}

// How the files give the memory back: four 8-bit lanes of a 32-bit memory
// under -byte (lane k's byte at ROM address r is memory byte 4r + k), or one
// 8-bit file.
enum class Readback { FourLanes, OneFile };

struct Case {
    const char* title;
    std::string coff;
    std::string cmd;
    Readback readback;
    std::vector<std::string> files;
    bool image;        // every byte of a span is in the files
    uint8_t fill;      // else: the byte of the range's fill value,
    bool image_twin;   // or the bytes the same run with -image writes there
    std::vector<Field> fields;
};

class E2eChecksumFields : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_coffhex(args, dir.path()); }

    // The five algorithms over `bytes`, computed by Python.
    std::map<std::string, uint32_t> python_values(const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file("field-input.bin");
        write_bytes(path, bytes);
        const char* script =
            "import sys, zlib, binascii\n"
            "d = open(sys.argv[1], 'rb').read()\n"
            "c = 0xFFFFFFFF\n"
            "for b in d:\n"
            "    c ^= b << 24\n"
            "    for _ in range(8):\n"
            "        c = ((c << 1) ^ 0x04C11DB7 if c & 0x80000000 else c << 1) & 0xFFFFFFFF\n"
            "print(zlib.crc32(d), c, binascii.crc_hqx(d, 0xFFFF), sum(d) & 0xFFFF, sum(d) & 0xFFFFFFFF)\n";
        RunResult r = run_program({"python3", "-c", script, path}, "");
        std::remove(path.c_str());
        EXPECT_EQ(r.status, 0) << r.err;
        std::istringstream in(r.out);
        unsigned long v[5] = {};
        in >> v[0] >> v[1] >> v[2] >> v[3] >> v[4];
        return {{"crc32", v[0]}, {"crc32_mpeg2", v[1]}, {"crc16_ccitt", v[2]}, {"sum16", v[3]}, {"sum32", v[4]}};
    }

    ByteMap memory(const Case& c) {
        std::vector<std::string> paths;
        for (const std::string& name : c.files) paths.push_back(dir.file(name));
        const std::vector<ByteMap> read = srec_cat_read_files(paths, "-intel");
        ByteMap memory;
        for (size_t k = 0; k < read.size(); ++k)
            for (const auto& [address, byte] : read[k])
                memory[c.readback == Readback::FourLanes ? 4 * address + static_cast<uint32_t>(k) : address] = byte;
        return memory;
    }

    TempDir dir;
};

std::string sections(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& list) {
    std::string text;
    for (const auto& [header, bytes] : list) text += "section " + header + "\n" + bytes_lines(bytes);
    return text;
}

std::string value_hex(uint32_t value, uint32_t size) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", static_cast<int>(size * 2), value);
    return text;
}

// The report line of a field (standard output and map): it starts with the
// field's name and ends with its value.
bool has_field_line(const std::string& text, const std::string& name, const std::string& value) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 3 + name.size() + 1, "   " + name + " ") == 0 && line.size() >= value.size() &&
            line.compare(line.size() - value.size(), value.size(), value) == 0)
            return true;
    }
    return false;
}

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"image mode, four lanes of a 32-bit memory, a wide fill; a field before the bytes "
         "it covers; the default span holds the other fields",
         sections({{".text paddr=0x40", test_bytes(64, 1)}, {".data paddr=0x200", test_bytes(40, 2)}}),
         "app\n-i -image -byte -map app.map\n"
         "ROMS { rom: origin = 0, length = 0x400, memwidth = 32, romwidth = 8, fill = 0x11223344,\n"
         "       files = { a.i0 a.i1 a.i2 a.i3 } }\n"
         "CHECKSUMS\n{\n"
         "    whole: algorithm = crc32, at = 0x3FC\n"
         "    head: Algorithm = CRC16_CCITT, AT = 0x10, origin = 0x40, length = 0x300, order = big\n"
         "    total: algorithm = sum32 at = 0x20 origin = 0x200 length = 0x1FC\n"
         "}\n",
         Readback::FourLanes,
         {"a.i0", "a.i1", "a.i2", "a.i3"},
         true,
         0,
         false,
         {{"whole", "crc32", 0x3FC, 0, 0x3FF, true, false},
          {"head", "crc16_ccitt", 0x10, 0x40, 0x33F, false, true},
          {"total", "sum32", 0x20, 0x200, 0x3FB, false, false}}},
        {"without -image: explicit spans with gaps, both byte orders; the gaps count as the "
         "wide fill that image mode writes there",
         sections({{".text paddr=0x1100", test_bytes(48, 3)}, {".data paddr=0x1400", test_bytes(20, 4)}}),
         "app\n-i -map app.map\n"
         "ROMS { rom: origin = 0x1000, length = 0x1000, memwidth = 8, romwidth = 8,\n"
         "       fill = 0x11223344, files = { b.hex } }\n"
         "CHECKSUMS\n{\n"
         "    be: algorithm = crc32_mpeg2, at = 0x1000, origin = 0x1100, length = 0x400, order = big\n"
         "    le: algorithm = crc16_ccitt, at = 0x1FF0, origin = 0x10F0, length = 0x330, order = little\n"
         "    s16: algorithm = sum16, at = 0x1008\n"
         "}\n",
         Readback::OneFile,
         {"b.hex"},
         false,
         0,
         true,
         {{"be", "crc32_mpeg2", 0x1000, 0x1100, 0x14FF, false, true},
          {"le", "crc16_ccitt", 0x1FF0, 0x10F0, 0x141F, false, false},
          {"s16", "sum16", 0x1008, 0x1000, 0x1FFF, true, false}}},
        {"a boot table and the fields in its range that cover it",
         sections({{".vectors paddr=0", test_bytes(8, 5)},
                   {".text paddr=0x2000", test_bytes(12, 6)},
                   {".data paddr=0x3000", test_bytes(8, 7)}}),
         "app\n-i -image -byte -bootorg 0x100 -map app.map\n"
         "ROMS { flash: origin = 0, length = 0x200, memwidth = 32, romwidth = 8,\n"
         "       fill = 0xFFFFFFFF, files = { c.i0 c.i1 c.i2 c.i3 } }\n"
         "SECTIONS { .vectors  .text: boot  .data: boot }\n"
         "CHECKSUMS { rom: algorithm = crc32, at = 0x1FC\n"
         "            table: algorithm = sum32, at = 0xF0, origin = 0x100, length = 0x40 }\n",
         Readback::FourLanes,
         {"c.i0", "c.i1", "c.i2", "c.i3"},
         true,
         0,
         false,
         {{"rom", "crc32", 0x1FC, 0, 0x1FF, true, false},
          {"table", "sum32", 0xF0, 0x100, 0x13F, false, false}}},
        {".cinit records in no address order, among the sections, without -image",
         sections({{".text paddr=0", test_bytes(16, 12)}, {".const paddr=0x300", test_bytes(8, 13)}}) +
             "section .bss paddr=0x200 size=0x20 nodata\n"
             "section .cinit paddr=0x500 flags=0x10\n"
             "  record 0x210 A0 A1 A2 A3\n  record 0x200 B0 B1 B2 B3\n"
             "  record 0x380 D0 D1 D2 D3 D4 D5\n  record 0x208 E0 E1\n  end-records\n",
         "app\n-i -map app.map\n"
         "ROMS { rom: origin = 0, length = 0x400, memwidth = 8, romwidth = 8, fill = 0,\n"
         "       files = { e.hex } }\n"
         "CHECKSUMS { all: algorithm = crc32, at = 0x3F8\n"
         "            vars: algorithm = crc16_ccitt, at = 0x3F0, origin = 0x200, length = 0x1F0 }\n",
         Readback::OneFile,
         {"e.hex"},
         false,
         0,
         false,
         {{"all", "crc32", 0x3F8, 0, 0x3FF, true, false},
          {"vars", "crc16_ccitt", 0x3F0, 0x200, 0x3EF, false, false}}},
    };
    return all;
}

TEST_F(E2eChecksumFields, ValuesRecomputedFromTheWrittenFiles) {
    REQUIRE_FIELD_READERS();
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.title);
        write_coff(dir.file("app.out"), c.coff);
        write_text(dir.file("app.cmd"), c.cmd);
        RunResult r = run({"app.cmd"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const ByteMap mem = memory(c);
        const std::string map = read_text(dir.file("app.map"));
        // The bytes the values are recomputed from: the written files, or
        // the complete image of the same run with -image.
        ByteMap image = mem;
        if (c.image_twin) {
            RunResult twin = run({"-image", "app.cmd"});
            ASSERT_EQ(twin.status, 0) << twin.err;
            image = memory(c);
        }
        for (const Field& f : c.fields) {
            SCOPED_TRACE(f.name);
            const uint32_t size = field_size(f.algorithm);
            std::vector<uint8_t> covered;
            for (uint64_t a = f.first; a <= f.last; ++a) {
                if (f.hole && a >= f.at && a < f.at + size) continue;
                const auto it = image.find(static_cast<uint32_t>(a));
                if (c.image || c.image_twin) {
                    ASSERT_NE(it, image.end()) << "no byte at 0x" << std::hex << a;
                }
                covered.push_back(it != image.end() ? it->second : c.fill);
            }
            const uint32_t expected = python_values(covered).at(f.algorithm);
            for (const ByteMap* written : {&mem, static_cast<const ByteMap*>(&image)}) {
                uint32_t stored = 0;
                for (uint32_t i = 0; i < size; ++i) {
                    const auto it = written->find(f.at + i);
                    ASSERT_NE(it, written->end());
                    stored |= static_cast<uint32_t>(it->second) << (8 * (f.big ? size - 1 - i : i));
                }
                EXPECT_EQ(stored, expected);
            }
            EXPECT_TRUE(has_field_line(r.out, f.name, "= " + value_hex(expected, size))) << r.out;
            EXPECT_TRUE(has_field_line(map, f.name, "= " + value_hex(expected, size))) << map;
        }
        // With -q the conversion is the same and the lines are not shown.
        RunResult quiet = run({"-q", "app.cmd"});
        ASSERT_EQ(quiet.status, 0) << quiet.err;
        EXPECT_EQ(quiet.out, "");
        EXPECT_TRUE(same_bytes(mem, memory(c)));
    }
}

// srec_cat computes the CRC-32 of the image below the field a second time
// and puts it where the field is, little-endian.
TEST_F(E2eChecksumFields, SrecCatComputesTheSameCrc32) {
    REQUIRE_FIELD_READERS();
    write_coff(dir.file("app.out"),
               sections({{".text paddr=0x100", test_bytes(300, 8)}, {".data paddr=0x600", test_bytes(16, 9)}}));
    write_text(dir.file("app.cmd"),
               "app\n-i -image\n"
               "ROMS { rom: origin = 0, length = 0x800, memwidth = 8, romwidth = 8, fill = 0xFFFFFFFF,\n"
               "       files = { d.hex } }\n"
               "CHECKSUMS { crc: algorithm = crc32, at = 0x7FC, order = little }\n");
    RunResult r = run({"app.cmd"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ByteMap written = srec_cat_read(dir.file("d.hex"), "-intel");
    RunResult again = run_program({"srec_cat", dir.file("d.hex"), "-intel", "-crop", "0", "0x7FC",
                                   "-crc32-l-e", "0x7FC", "-crop", "0x7FC", "0x800", "-o", "-", "-hex_dump"},
                                  "");
    ASSERT_EQ(again.status, 0) << again.err;
    const ByteMap computed = parse_hex_dump(again.out);
    ASSERT_EQ(computed.size(), 4u) << again.out;
    for (uint32_t a = 0x7FC; a < 0x800; ++a) {
        ASSERT_EQ(written.count(a), 1u);
        EXPECT_EQ(written.at(a), computed.at(a)) << std::hex << a;
    }
}

// Each refusal names the field, prevents the conversion and leaves no file.
TEST_F(E2eChecksumFields, RefusalsWriteNothing) {
    write_coff(dir.file("app.out"), sections({{".text paddr=0", test_bytes(16, 10)},
                                              {".data paddr=0x3000", test_bytes(8, 11)}}));
    const std::string head =
        "app\n-i -bootorg 0x100 -map app.map\n"
        "ROMS { rom: origin = 0, length = 0x200, memwidth = 32, romwidth = 8 }\n"
        "SECTIONS { .text  .data: boot }\n";
    const struct {
        const char* fields;
        const char* message;
    } refusals[] = {
        {"f: algorithm = md5, at = 0x1F0", "ERROR: unknown checksum algorithm 'md5' for f"},
        {"f: algorithm = crc32, at = 0x1F0, colour = 3", "ERROR: unknown attribute 'colour' for f"},
        {"f: algorithm = crc32, at = 0x1FE", "ERROR: checksum field f is not wholly inside one configured range"},
        {"f: algorithm = crc32, at = 0x4", "ERROR: checksum field f overlaps section '.text'"},
        {"f: algorithm = crc32, at = 0x104", "ERROR: checksum field f overlaps the boot table"},
        {"f: algorithm = crc32, at = 0x1F0  g: algorithm = sum16, at = 0x1F2",
         "ERROR: checksum fields f and g overlap"},
        {"f: algorithm = crc32, at = 0x1F0, origin = 0x1E0, length = 0x20",
         "ERROR: checksum span of f includes the field itself"},
        {"f: algorithm = crc32, at = 0x1F0, origin = 0x180, length = 0x100",
         "ERROR: checksum span of f reaches outside the configured memory"},
        {"f: algorithm = crc32, at = 0x1F0  f: algorithm = sum32, at = 0x1E0",
         "ERROR: checksum field f defined twice"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.fields);
        write_text(dir.file("app.cmd"), head + "CHECKSUMS { " + refusal.fields + " }\n");
        RunResult r = run({"app.cmd"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(refusal.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(">> FATAL ERROR: errors prevent conversion (aborting)\n"), std::string::npos)
            << r.err;
        EXPECT_EQ(list_files(dir.path()), (std::vector<std::string>{"app.cmd", "app.out"}));
    }
}

}  // namespace
