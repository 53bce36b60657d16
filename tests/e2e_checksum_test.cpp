// End to end, -checksum: the figures on standard output and in the map,
// each checked against the bytes the output file gives back to a reader
// (srec_cat, or the raw bytes of a Binary file), summed here and run through
// Python's zlib.crc32 in address order; the runs without the option are
// unchanged, and a run that fails shows no figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

#define REQUIRE_CHECKSUM_READERS()                                                              \
    E2E_REQUIRE_TOOLS(have_tool("srec_cat") && have_tool("python3"),                            \
                      "srec_cat (srecord) or python3 is not installed")

class E2eChecksum : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_coffhex(args, dir.path()); }
    std::string text(const std::string& name) { return read_text(dir.file(name)); }

    // Python's zlib.crc32 of the bytes, as eight lower-case hex digits.
    std::string python_crc32(const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file("crc-input.bin");
        write_bytes(path, bytes);
        RunResult r = run_program(
            {"python3", "-c",
             "import sys, zlib; print('%08x' % zlib.crc32(open(sys.argv[1], 'rb').read()))", path},
            "");
        std::remove(path.c_str());
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.substr(0, 8);
    }

    // The figures text the manual describes, for a file whose data bytes a
    // reader finds at the addresses of `bytes`: count, lowest and highest
    // address, sum and its low 16 bits, and the CRC-32 of the bytes in
    // address order; counts padded to `count_width` digits.
    std::string expected_figures(const ByteMap& bytes, int count_width) {
        std::vector<uint8_t> in_order;
        uint32_t sum = 0;
        for (const auto& [address, byte] : bytes) {
            in_order.push_back(byte);
            sum += byte;
        }
        char line[200];
        std::snprintf(line, sizeof line, "%08x..%08x  bytes=%-*zu  sum=%08x (%04x)  crc32=%s",
                      bytes.empty() ? 0u : bytes.begin()->first,
                      bytes.empty() ? 0u : bytes.rbegin()->first, count_width, in_order.size(), sum,
                      sum & 0xFFFFu, python_crc32(in_order).c_str());
        return line;
    }

    TempDir dir;
};

// The lines of the standard output block "Output file checksums:": file
// name -> its figures (after the name and the blanks that pad it).
std::map<std::string, std::string> stdout_figures(const std::string& out) {
    std::map<std::string, std::string> figures;
    std::istringstream lines(out);
    std::string line;
    bool in_block = false;
    while (std::getline(lines, line)) {
        if (line == "Output file checksums:") {
            in_block = true;
            continue;
        }
        if (!in_block) continue;
        EXPECT_EQ(line.compare(0, 3, "   "), 0) << line;
        const size_t name_end = line.find(' ', 3);
        const size_t figures_start = line.find_first_not_of(' ', name_end);
        figures[line.substr(3, name_end - 3)] = line.substr(figures_start);
    }
    return figures;
}

// The map's figure lines: the line under each "name [bX..bY]" of OUTPUT
// FILES that starts, like the names, in column 17.
std::map<std::string, std::string> map_figures(const std::string& map) {
    std::map<std::string, std::string> figures;
    std::vector<std::string> lines;
    std::istringstream stream(map);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    const std::string indent(17, ' ');
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        const bool first = line.compare(0, 17, "   OUTPUT FILES: ") == 0;
        if (!first && line.compare(0, 17, indent) != 0) continue;
        const size_t lane = line.find(" [b");
        if (lane == std::string::npos || line.back() != ']') continue;
        const std::string& next = lines[i + 1];
        EXPECT_EQ(next.compare(0, 17, indent), 0) << "no figures under " << line;
        figures[line.substr(17, lane - 17)] = next.substr(17);
    }
    return figures;
}

// Map text without the figure lines.
std::string without_figure_lines(const std::string& map) {
    std::istringstream stream(map);
    std::string kept, previous;
    for (std::string line; std::getline(stream, line); previous = line) {
        const bool under_file = previous.size() > 17 && previous.back() == ']' &&
                                previous.find(" [b") != std::string::npos;
        if (under_file && line.compare(0, 17, std::string(17, ' ')) == 0 && line.find("bytes=") != std::string::npos)
            continue;
        kept += line + "\n";
    }
    return kept;
}

// .text at 0 (50 memory words), .data at 0x1000 (16 words), .const above
// 64K at 0x12340 (10 words): every 8-bit lane gets 76 bytes.
const std::vector<uint8_t> TEXT = test_bytes(200, 31);
const std::vector<uint8_t> DATA = test_bytes(64, 32);
const std::vector<uint8_t> CONST = test_bytes(40, 33);

std::string three_sections() {
    return "section .text paddr=0\n" + bytes_lines(TEXT) + "section .data paddr=0x1000\n" +
           bytes_lines(DATA) + "section .const paddr=0x12340\n" + bytes_lines(CONST);
}

// Byte k of every memory word (little-endian input, 8-bit lanes).
std::vector<uint8_t> lane_of(const std::vector<uint8_t>& section, int k) {
    std::vector<uint8_t> lane;
    for (size_t i = static_cast<size_t>(k); i < section.size(); i += 4) lane.push_back(section[i]);
    return lane;
}

// ---------------------------------------------------------------------------

// Four 8-bit ROMs of a 32-bit memory in Intel records. Without -byte a
// record at output address A holds 32 lane bytes, which the reader puts at
// A..A+31: .text's 50 lane bytes at 0x0..0x1f and 0x80..0x91, .data's 16 at
// 0x1000..0x100f, .const's 10 at 0x12340..0x12349. With -byte every file is
// addressed in its own bytes: 0..0x31, 0x400..0x40f, 0x48d0..0x48d9.
TEST_F(E2eChecksum, FourByteLanesOfA32BitMemory) {
    REQUIRE_CHECKSUM_READERS();
    write_coff(dir.file("app.out"), three_sections());
    for (bool byte_addressing : {false, true}) {
        SCOPED_TRACE(byte_addressing ? "-byte" : "memory addresses");
        std::vector<std::string> args = {"-i", "-checksum", "-map", "app.map", "app"};
        if (byte_addressing) args.insert(args.begin(), "-byte");
        RunResult r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::vector<std::string> names = {"app.i0", "app.i1", "app.i2", "app.i3"};
        std::vector<std::string> paths;
        for (const std::string& name : names) paths.push_back(dir.file(name));
        const std::vector<ByteMap> read = srec_cat_read_files(paths, "-intel");
        const auto out = stdout_figures(r.out);
        const auto map = map_figures(text("app.map"));
        ASSERT_EQ(out.size(), 4u) << r.out;
        ASSERT_EQ(map.size(), 4u);
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(names[static_cast<size_t>(k)]);
            const ByteMap& bytes = read[static_cast<size_t>(k)];
            // The reader's bytes in address order are the lane's bytes.
            std::vector<uint8_t> lane = lane_of(TEXT, k), in_order;
            for (const auto& part : {lane_of(DATA, k), lane_of(CONST, k)})
                lane.insert(lane.end(), part.begin(), part.end());
            for (const auto& [address, byte] : bytes) in_order.push_back(byte);
            EXPECT_EQ(in_order, lane);
            ASSERT_EQ(bytes.size(), 76u);
            EXPECT_EQ(bytes.begin()->first, 0u);
            EXPECT_EQ(bytes.rbegin()->first, byte_addressing ? 0x48d9u : 0x12349u);
            EXPECT_EQ(bytes.count(byte_addressing ? 0x31u : 0x91u), 1u);

            const std::string expected = expected_figures(bytes, 2);
            EXPECT_EQ(out.at(names[static_cast<size_t>(k)]), expected);
            EXPECT_EQ(map.at(names[static_cast<size_t>(k)]), expected);
        }
        // The block follows the progress lines: one line per file in the
        // order of the range's file list.
        EXPECT_NE(r.out.find("   \"app.out\"   ==> .const\nOutput file checksums:\n   app.i0  "),
                  std::string::npos)
            << r.out;
    }
}

// Image mode: a 256-byte range of a 16-bit memory of two 8-bit ROMs with
// erased fill around one 32-byte section, in Motorola S3 records. Each file
// carries 128 bytes (fill included): 16 from the section, 112 of 0xFF.
TEST_F(E2eChecksum, ImageModeCountsTheFill) {
    REQUIRE_CHECKSUM_READERS();
    const std::vector<uint8_t> section = test_bytes(32, 41);
    write_coff(dir.file("app.out"), "section .text paddr=0x140\n" + bytes_lines(section));
    write_text(dir.file("image.cmd"),
               "app\n-m3 -image -checksum -map app.map\n"
               "ROMS { rom: origin = 0x100, length = 0x100, romwidth = 8, memwidth = 16,\n"
               "       fill = 0xFFFFFFFF, files = { even.m0 odd.m0 } }\n");
    RunResult r = run({"image.cmd"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<ByteMap> read =
        srec_cat_read_files({dir.file("even.m0"), dir.file("odd.m0")}, "-motorola");
    const auto out = stdout_figures(r.out);
    const auto map = map_figures(text("app.map"));
    const char* names[] = {"even.m0", "odd.m0"};
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(names[k]);
        const ByteMap& bytes = read[static_cast<size_t>(k)];
        ASSERT_EQ(bytes.size(), 128u);
        uint32_t sum = 0, expected_sum = 112 * 0xFF;
        for (const auto& [address, byte] : bytes) sum += byte;
        for (size_t i = static_cast<size_t>(k); i < section.size(); i += 2) expected_sum += section[i];
        EXPECT_EQ(sum, expected_sum);
        const std::string expected = expected_figures(bytes, 3);
        EXPECT_EQ(out.at(names[k]), expected);
        EXPECT_EQ(map.at(names[k]), expected);
    }
}

// Two ranges on two pages, each a 32-bit memory of two 16-bit devices, in
// Extended Tektronix records. Each range's block in the map carries the
// figures of its own two files; standard output lists all four, range by
// range. .text (48 bytes, 12 words) gives each page-0 file 24 bytes, .data
// (24 bytes, 6 words) each page-1 file 12.
TEST_F(E2eChecksum, TwoFilesOnEachOfTwoPages) {
    REQUIRE_CHECKSUM_READERS();
    const std::vector<uint8_t> text_bytes = test_bytes(48, 51), data_bytes = test_bytes(24, 52);
    write_coff(dir.file("app.out"), "section .text paddr=0x100 page=0\n" + bytes_lines(text_bytes) +
                                        "section .data paddr=0x200 page=1\n" + bytes_lines(data_bytes));
    write_text(dir.file("pages.cmd"),
               "app\n-x -checksum -map app.map\n"
               "ROMS {\n"
               "  PAGE 0: prog: origin = 0, length = 0x1000, romwidth = 16, memwidth = 32,\n"
               "                files = { p0lo.x p0hi.x }\n"
               "  PAGE 1: data: origin = 0, length = 0x1000, romwidth = 16, memwidth = 32,\n"
               "                files = { p1lo.x p1hi.x }\n"
               "}\n");
    RunResult r = run({"pages.cmd"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> names = {"p0lo.x", "p0hi.x", "p1lo.x", "p1hi.x"};
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(dir.file(name));
    const std::vector<ByteMap> read = srec_cat_read_files(paths, "-tektronix_extended");
    const auto out = stdout_figures(r.out);
    const std::string map_text = text("app.map");
    const auto map = map_figures(map_text);
    ASSERT_EQ(map.size(), 4u) << map_text;
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        ASSERT_EQ(read[i].size(), i < 2 ? 24u : 12u);
        // Standard output pads every count to the widest of the run (2
        // digits); the map to the widest of the range.
        EXPECT_EQ(out.at(names[i]), expected_figures(read[i], 2));
        EXPECT_EQ(map.at(names[i]), expected_figures(read[i], 2));
    }
    // The page-1 block holds page-1 files with their figures.
    const size_t page1 = map_text.find("Page=1");
    ASSERT_NE(page1, std::string::npos);
    EXPECT_GT(map_text.find("p1lo.x [b0..b15]\n"), page1);
    EXPECT_LT(map_text.find("p0hi.x [b16..b31]\n"), page1);
    // Standard output in the order of the ranges and their file lists; the
    // names padded to the longest, two blanks before the figures.
    const size_t block = r.out.find("Output file checksums:\n");
    ASSERT_NE(block, std::string::npos);
    size_t at = block;
    for (const std::string& name : names) {
        const size_t line = r.out.find("\n   " + name + "  ", at);
        EXPECT_NE(line, std::string::npos) << name;
        at = line;
    }
}

// Binary files carry no addresses: a byte's address is its offset in the
// file. Two sections with a gap between them follow one another directly:
// 20 + 30 bytes at offsets 0..49.
TEST_F(E2eChecksum, BinaryFileIsAddressedByItsOffsets) {
    REQUIRE_CHECKSUM_READERS();
    write_coff(dir.file("app.out"), "section .a paddr=0x10\n" + bytes_lines(test_bytes(20, 61)) +
                                        "section .b paddr=0x100\n" + bytes_lines(test_bytes(30, 62)));
    RunResult r = run({"-b", "-checksum", "-map", "app.map", "app", "-o", "app.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<uint8_t> file = read_bytes(dir.file("app.bin"));
    ASSERT_EQ(file.size(), 50u);
    ByteMap bytes;
    for (size_t i = 0; i < file.size(); ++i) bytes[static_cast<uint32_t>(i)] = file[i];
    const std::string expected = expected_figures(bytes, 2);
    EXPECT_EQ(expected.substr(0, 18), "00000000..00000031");
    EXPECT_EQ(stdout_figures(r.out).at("app.bin"), expected);
    EXPECT_EQ(map_figures(text("app.map")).at("app.bin"), expected);
}

// Motorola-S1 cuts addresses to 16 bits: .data from 0xFFF0 to 0x1000F
// continues at 0x0000, below the bytes before it. The figures cover
// 0x0000..0xffff, and the CRC is the one of the file's order (here the
// section's own order), marked as such.
TEST_F(E2eChecksum, CutS1AddressesShowTheFileOrder) {
    REQUIRE_CHECKSUM_READERS();
    const std::vector<uint8_t> data = test_bytes(32, 71);
    write_coff(dir.file("app.out"), "section .data paddr=0xFFF0\n" + bytes_lines(data));
    RunResult r = run({"-m1", "-memwidth", "8", "app", "-o", "app.s1", "-checksum"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("exceeds 4 digits - truncated"), std::string::npos) << r.err;
    uint32_t sum = 0;
    for (uint8_t b : data) sum += b;
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "00000000..0000ffff  bytes=32  sum=%08x (%04x)  crc32=%s  (file order)", sum,
                  sum & 0xFFFFu, python_crc32(data).c_str());
    EXPECT_EQ(stdout_figures(r.out).at("app.s1"), expected);
}

// The same lanes in every format that carries 32-bit addresses give the same
// figures as the Intel files checked against srec_cat above; so do QV-Tagged
// (16-bit load addresses) and Motorola-S1 for data below 64K, with 16-bit
// ROMs. Only the writers differ, so this checks the path from each writer
// to its line.
TEST_F(E2eChecksum, EveryFormatGivesTheSameFiguresForTheSameLanes) {
    write_coff(dir.file("app.out"), "section .text paddr=0x100\n" + bytes_lines(TEXT) +
                                        "section .data paddr=0x1000\n" + bytes_lines(DATA));
    auto figures = [&](const std::vector<std::string>& options) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"-checksum", "app", "-o", "f0", "-o", "f1", "-o", "f2", "-o", "f3"});
        RunResult r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return stdout_figures(r.out);
    };
    const auto intel = figures({"-i"});
    ASSERT_EQ(intel.size(), 4u);
    for (const char* format : {"-m", "-m3", "-m2", "-x", "-a", "--d", "--b"})
        EXPECT_EQ(figures({format}), intel) << format;
    const auto intel16 = figures({"-i", "-romwidth", "16"});
    ASSERT_EQ(intel16.size(), 2u);
    for (const char* format : {"-t", "-m1", "--w"})
        EXPECT_EQ(figures({format, "-romwidth", "16"}), intel16) << format;
}

// Without -checksum nothing changes; with it the output files are the same,
// standard output only gains its block and the map only its figure lines.
// The option is case-insensitive and works from a command file; -q drops the
// block but not the map's lines.
TEST_F(E2eChecksum, WithoutTheOptionNothingChanges) {
    write_coff(dir.file("app.out"), three_sections());
    const std::vector<std::string> names = {"app.i0", "app.i1", "app.i2", "app.i3"};
    auto outputs = [&]() {
        std::vector<std::vector<uint8_t>> files;
        for (const std::string& name : names) files.push_back(read_bytes(dir.file(name)));
        return files;
    };
    RunResult plain = run({"-i", "-map", "app.map", "app"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto plain_files = outputs();
    const std::string plain_map = text("app.map");
    EXPECT_EQ(plain.out.find("checksum"), std::string::npos);
    EXPECT_EQ(plain_map.find("bytes="), std::string::npos);

    RunResult with = run({"-i", "-CheckSum", "-map", "app.map", "app"});
    ASSERT_EQ(with.status, 0) << with.err;
    EXPECT_EQ(with.err, plain.err);
    EXPECT_EQ(outputs(), plain_files);
    const size_t block = with.out.find("Output file checksums:\n");
    ASSERT_NE(block, std::string::npos);
    EXPECT_EQ(with.out.substr(0, block), plain.out);
    EXPECT_EQ(std::count(with.out.begin() + static_cast<long>(block), with.out.end(), '\n'), 5);
    const std::string with_map = text("app.map");
    EXPECT_EQ(without_figure_lines(with_map), plain_map);
    EXPECT_EQ(map_figures(with_map).size(), 4u);

    write_text(dir.file("quiet.cmd"), "app -i -q\n-CHECKSUM\n-map app.map\n");
    RunResult quiet = run({"quiet.cmd"});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(outputs(), plain_files);
    EXPECT_EQ(text("app.map"), with_map);
}

// A run that ends with a fatal error or a failed write puts no file in
// place and shows no figures; one that ends with status 1 after an error
// that let it finish shows them.
TEST_F(E2eChecksum, FiguresOnlyForFilesPutInPlace) {
    // .data's raw data lies beyond the end of the object file: reading it is
    // fatal, after .text's range was written and its files closed (placement
    // left it for .const, in the second range).
    write_coff(dir.file("bad.out"), "section .text paddr=0\n" + bytes_lines(test_bytes(16, 81)) +
                                        "section .const paddr=0x1000\n" + bytes_lines(test_bytes(16, 83)) +
                                        "section .data paddr=0x1080 size=64 datapos=0x100000\n");
    write_text(dir.file("fatal.cmd"),
               "bad -i -checksum -map app.map\n"
               "ROMS { one: origin = 0, length = 0x100, romwidth = 8, memwidth = 32\n"
               "       two: origin = 0x1000, length = 0x100, romwidth = 8, memwidth = 32 }\n");
    RunResult fatal = run({"fatal.cmd"});
    EXPECT_EQ(fatal.status, 1);
    EXPECT_NE(fatal.err.find("FATAL ERROR: error reading COFF file"), std::string::npos) << fatal.err;
    EXPECT_NE(fatal.out.find("==> .const\n"), std::string::npos) << fatal.out;
    EXPECT_EQ(fatal.out.find("checksums"), std::string::npos) << fatal.out;
    EXPECT_EQ(list_files(dir.path()), (std::vector<std::string>{"bad.out", "fatal.cmd"}));

    write_coff(dir.file("app.out"), "section .text paddr=0\n" + bytes_lines(test_bytes(16, 81)));
    // A failed write: every file is abandoned.
    if (file_exists("/dev/full")) {
        RunResult full = run({"-i", "-memwidth", "8", "-checksum", "app", "-o", "/dev/full"});
        EXPECT_EQ(full.status, 1);
        EXPECT_NE(full.err.find("cannot write output file '/dev/full'"), std::string::npos) << full.err;
        EXPECT_EQ(full.out.find("checksums"), std::string::npos) << full.out;
    }

    // An entry symbol that the file lacks is an error, but the run finishes
    // and puts its files in place: their figures are shown.
    RunResult error = run({"-i", "-memwidth", "8", "-boot", "-e", "nosuch", "-checksum", "app",
                           "-o", "app.hex"});
    EXPECT_EQ(error.status, 1);
    EXPECT_NE(error.err.find("ERROR: Requested boot table entry point symbol 'nosuch' not found"),
              std::string::npos)
        << error.err;
    EXPECT_TRUE(file_exists(dir.file("app.hex")));
    EXPECT_EQ(stdout_figures(error.out).count("app.hex"), 1u) << error.out;
}

}  // namespace
