// End to end, every output format: the exact records of the Extended
// Tektronix and Motorola-S examples, and whole files of QV-Tagged,
// ASCII-Hex, Generic, DEBUG and Binary, with their width rules.
#include <gtest/gtest.h>

#include <sstream>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

class E2eFormats : public ::testing::Test {
protected:
    // One section `name` at `address` holding `data`.
    void input(const std::string& description) { write_coff(dir.file("app.out"), description); }
    RunResult run(std::vector<std::string> args) {
        args.push_back("app");
        return run_coffhex(args, dir.path());
    }
    std::string file(const std::string& name) { return read_text(dir.file(name)); }
    TempDir dir;
};

const char* const SINGLE_BYTE = "section .text paddr=0x100\n  bytes 12\n";

std::string hex_of(const std::vector<uint8_t>& bytes, size_t from, size_t count,
                   const char* separator = "") {
    std::string text;
    for (size_t i = from; i < from + count; ++i) text += hex2(bytes[i]) + separator;
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// Extended Tektronix

TEST_F(E2eFormats, TektronixSingleByteAndTerminatorWithEntryPointZero) {
    input(SINGLE_BYTE);
    RunResult r = run({"-x", "-memwidth", "8", "-romwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to Extended Tektronix format...\n"
              "   \"app.out\"   ==> .text\n");
    // Length 0x10 (16 characters after "%"), type 6, checksum 0x13 (1+0+6+8
    // +1+1+2 = 19, the placeholder digits counting 0), 8 address digits,
    // address 00000100, data 12. The terminator: 0+E+8+8 = 30 = 0x1E.
    EXPECT_EQ(file("app.x0"), "%1061380000010012\n%0E81E800000000\n");
    EXPECT_EQ(tektronix('6', 0x100, {0x12}), "%1061380000010012\n");
}

TEST_F(E2eFormats, TektronixTerminatorCarriesTheOptionalHeaderEntryPoint) {
    input(std::string("entry 0x1234\n") + SINGLE_BYTE);
    // -e only serves the boot table; the terminator keeps the file's entry.
    RunResult r = run({"-q", "-memwidth", "8", "-e", "0x5678"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // 0+E+8+8+1+2+3+4 = 40 = 0x28.
    EXPECT_EQ(file("app.x0"), "%1061380000010012\n%0E828800001234\n");
}

TEST_F(E2eFormats, TektronixRecordsHoldThirtyTwoBytes) {
    const std::vector<uint8_t> data = test_bytes(40, 5);
    input("section .text paddr=0x2000\n" + bytes_lines(data));
    RunResult r = run({"-q", "-x", "-memwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(file("app.x0"),
              tektronix('6', 0x2000, std::vector<uint8_t>(data.begin(), data.begin() + 32)) +
                  tektronix('6', 0x2020, std::vector<uint8_t>(data.begin() + 32, data.end())) +
                  "%0E81E800000000\n");
}

// ---------------------------------------------------------------------------
// Motorola-S

TEST_F(E2eFormats, MotorolaDefaultAndS3WriteS3RecordsAndTheSameTerminator) {
    input(SINGLE_BYTE);
    // S3: LL 06 (4 address bytes, 1 data byte, checksum), sum 06+00+00+01
    // +00+12 = 0x19, one's complement 0xE6.
    const std::string expected = "S00600004844521B\nS3060000010012E6\nS70500000000FA\n";
    RunResult r = run({"-m", "-memwidth", "8", "-romwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Translating app.out to Motorola-S format...\n   \"app.out\"   ==> .text\n");
    EXPECT_EQ(file("app.m0"), expected);
    r = run({"-m3", "-memwidth", "8", "-romwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Translating app.out to Motorola-S3 format...\n   \"app.out\"   ==> .text\n");
    EXPECT_EQ(file("app.m0"), expected);
}

TEST_F(E2eFormats, MotorolaS1AndS2RecordsAndTerminators) {
    input(SINGLE_BYTE);
    RunResult r = run({"-q", "-m1", "-memwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // 04+01+00+12 = 0x17, complement 0xE8.
    EXPECT_EQ(file("app.m0"), "S00600004844521B\nS1040100" "12E8\nS9030000FC\n");
    r = run({"-q", "-m2", "-memwidth", "8"});
    EXPECT_EQ(r.status, 0);
    // 05+00+01+00+12 = 0x18, complement 0xE7.
    EXPECT_EQ(file("app.m0"), "S00600004844521B\nS205000100" "12E7\nS804000000FB\n");
}

// -m1 cuts addresses above 0xFFFF to 16 bits and warns once per section,
// with the address of its first record, not once per record.
TEST_F(E2eFormats, MotorolaS1WarnsOncePerSectionAbove64K) {
    const std::vector<uint8_t> text = test_bytes(100, 1), data = test_bytes(40, 2),
                               low = test_bytes(10, 3);
    input("section .low paddr=0x0F00\n" + bytes_lines(low) + "section .text paddr=0x12000\n" +
          bytes_lines(text) + "section .data paddr=0x13000\n" + bytes_lines(data));
    RunResult r = run({"-q", "-m1", "-memwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: address 0x00012000 exceeds 4 digits - truncated (use -m or -m2)\n"
              ">> WARNING: address 0x00013000 exceeds 4 digits - truncated (use -m or -m2)\n");
    auto part = [](const std::vector<uint8_t>& v, size_t from, size_t to) {
        return std::vector<uint8_t>(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(to));
    };
    // 31 data bytes per S1 record with one-byte lanes.
    EXPECT_EQ(file("app.m0"),
              "S00600004844521B\n" + srecord('1', 2, 0x0F00, low) +
                  srecord('1', 2, 0x2000, part(text, 0, 31)) +
                  srecord('1', 2, 0x201F, part(text, 31, 62)) +
                  srecord('1', 2, 0x203E, part(text, 62, 93)) +
                  srecord('1', 2, 0x205D, part(text, 93, 100)) +
                  srecord('1', 2, 0x3000, part(data, 0, 31)) +
                  srecord('1', 2, 0x301F, part(data, 31, 40)) + "S9030000FC\n");
}

// ---------------------------------------------------------------------------
// QV-Tagged

namespace {

// A tagged record: the fields, "7", the 16-bit two's complement of the sum
// of the character codes up to that "7", "F", blanks to column 72 and the
// program name in columns 73 to 80.
std::string tagged_record(const std::string& fields) {
    std::string line = fields + "7";
    unsigned sum = 0;
    for (char c : line) sum += static_cast<unsigned char>(c);
    line += hexn((0x10000 - (sum & 0xFFFF)) & 0xFFFF, 4) + "F";
    line.resize(72, ' ');
    return line + "COFFTOQV\n";
}

}  // namespace

TEST_F(E2eFormats, QvTaggedRecordsAreEightyCharacters) {
    // 40 bytes at 0x100 in a 16-bit memory: 20 ROM words, each the
    // little-endian 16-bit word, most significant byte first.
    const std::vector<uint8_t> data = test_bytes(40, 9);
    input("section .text paddr=0x100\n" + bytes_lines(data));
    RunResult r = run({"-t", "-memwidth", "16"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Translating app.out to QV-Tagged format...\n   \"app.out\"   ==> .text\n");
    EXPECT_EQ(list_files(dir.path()), (std::vector<std::string>{"app.out", "app.t0"}));
    std::vector<std::string> words;
    for (size_t i = 0; i < data.size(); i += 2) words.push_back("B" + hex2(data[i + 1]) + hex2(data[i]));
    auto join = [&](size_t from, size_t to) {
        std::string text;
        for (size_t i = from; i < to; ++i) text += words[i];
        return text;
    };
    // The first record: header, load address, 9 words (13 + 5 + 45 = 63
    // characters, past 62); the next continues with 11 "B" fields and no
    // load address.
    const std::string expected = tagged_record("K0000COFFTOQV90100" + join(0, 9)) +
                                 tagged_record(join(9, 20)) + ":\n";
    EXPECT_EQ(file("app.t0"), expected);
    std::istringstream lines(file("app.t0"));
    std::string line;
    int records = 0;
    while (std::getline(lines, line) && line != ":") {
        EXPECT_EQ(line.size(), 80u) << line;
        EXPECT_EQ(line.substr(72), "COFFTOQV");
        ++records;
    }
    EXPECT_EQ(records, 2);
}

TEST_F(E2eFormats, QvTaggedAddressChangeAddsALoadAddressToTheSameRecord) {
    // Two sections; the second starts a record of its own (each section does
    // outside image mode), with its own load address field; its address
    // above 0xFFFF is written with its low 16 bits.
    input("section .a paddr=0x10\n  bytes 01 02\nsection .b paddr=0x12340\n  bytes 03 04 05\n");
    RunResult r = run({"-q", "-t", "-memwidth", "16"});
    EXPECT_EQ(r.status, 0);
    // .b: 3 bytes padded by one byte (fill 0) to a whole 16-bit word pair.
    EXPECT_EQ(r.err,
              ">> WARNING: section '.b' was padded by 1 bytes to a size of 4 to satisfy the\n"
              "            specified memory width of 2\n");
    EXPECT_EQ(file("app.t0"), tagged_record("K0000COFFTOQV90010B0201") +
                                  tagged_record("92340B0403B0005") + ":\n");
}

TEST_F(E2eFormats, QvTaggedNeedsASixteenBitRom) {
    input(SINGLE_BYTE);
    RunResult r = run({"-romwidth", "8", "-t"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, ">> FATAL ERROR: QV-Tagged format must have a ROM width of 16 bits (aborting)\n");
    EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"app.out"});
}

// ---------------------------------------------------------------------------
// ASCII-Hex

TEST_F(E2eFormats, AsciiHexWholeFile) {
    const std::vector<uint8_t> a = test_bytes(30, 4), b = test_bytes(5, 6);
    input("section .a paddr=0\n" + bytes_lines(a) + "section .b paddr=0x12345\n" + bytes_lines(b));
    RunResult r = run({"-a", "-memwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to ASCII-Hex format...\n"
              "   \"app.out\"   ==> .a\n"
              "   \"app.out\"   ==> .b\n");
    // Start of text, data at 0 without an address line, 24 bytes a line each
    // followed by a blank, the address of .b in five lower-case digits, and
    // end of text without a line end.
    EXPECT_EQ(file("app.a0"), "\x02\n" + hex_of(a, 0, 24, " ") + "\n" + hex_of(a, 24, 6, " ") +
                                  "\n$A12345,\n" + hex_of(b, 0, 5, " ") + "\n\x03");
}

// ---------------------------------------------------------------------------
// Generic

TEST_F(E2eFormats, GenericByteWideLines) {
    const std::vector<uint8_t> data = test_bytes(45, 8);
    input("section .text paddr=0x100\n" + bytes_lines(data));
    RunResult r = run({"--b", "-memwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Translating app.out to Generic format...\n   \"app.out\"   ==> .text\n");
    // Twenty bytes a line, each line headed by its first byte's address.
    EXPECT_EQ(file("app.s0"), "ADDRESS\tDATA\n-------\t----\n"
                              "0100\t" + hex_of(data, 0, 20, " ") + "\n"
                              "0114\t" + hex_of(data, 20, 20, " ") + "\n"
                              "0128\t" + hex_of(data, 40, 5, " ") + "\n");
}

TEST_F(E2eFormats, GenericWordWideLinesWithOlength) {
    const std::vector<uint8_t> data = test_bytes(20, 10);
    input("section .text paddr=0xABCDE0\n" + bytes_lines(data));
    RunResult r = run({"-q", "--w", "-memwidth", "16", "-olength", "4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // 16-bit ROM words of a little-endian 16-bit memory, most significant
    // byte first; four a line; addresses of more than four digits in full.
    auto words = [&](size_t from, size_t count) {
        std::string text;
        for (size_t i = from; i < from + count; ++i) text += hex2(data[2 * i + 1]) + hex2(data[2 * i]) + " ";
        return text;
    };
    EXPECT_EQ(file("app.s0"), "ADDRESS\tDATA\n-------\t----\n"
                              "abcde0\t" + words(0, 4) + "\n"
                              "abcde8\t" + words(4, 4) + "\n"
                              "abcdf0\t" + words(8, 2) + "\n");
    r = run({"-q", "--b", "-memwidth", "8", "-olength", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: illegal value 0 for -olength, using 1\n");
    // One byte a line.
    std::string one_per_line = "ADDRESS\tDATA\n-------\t----\n";
    for (size_t i = 0; i < data.size(); ++i) {
        char address[16];
        std::snprintf(address, sizeof address, "%x\t", 0xABCDE0u + static_cast<unsigned>(i));
        one_per_line += address + hex_of(data, i, 1, " ") + "\n";
    }
    EXPECT_EQ(file("app.s0"), one_per_line);
}

// ---------------------------------------------------------------------------
// DEBUG

TEST_F(E2eFormats, DebugWholeFile) {
    const std::vector<uint8_t> data = test_bytes(20, 12);
    input("section .text paddr=0x100\n" + bytes_lines(data));
    RunResult r = run({"--d", "-memwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Translating app.out to DEBUG format...\n   \"app.out\"   ==> .text\n");
    // "ADDR:%08lx: DATA:" (20 characters), then 16 groups of "XX " reach 68.
    EXPECT_EQ(file("app.d0"), "*** FILE HEADER ***\n"
                              "ADDR:00000100: DATA:" + hex_of(data, 0, 16, " ") + ":END:\n"
                              "ADDR:00000110: DATA:" + hex_of(data, 16, 4, " ") + ":END:\n"
                              "*** FILE FOOTER ***\n");
}

TEST_F(E2eFormats, DebugGroupsPerRomWord) {
    const std::vector<uint8_t> data = counting_bytes(8, 0xA0);
    input("section .text paddr=0x40\n" + bytes_lines(data));
    RunResult r = run({"-q", "--d", "-memwidth", "32", "-romwidth", "32"});
    EXPECT_EQ(r.status, 0);
    // Two little-endian 32-bit words, one group each.
    EXPECT_EQ(file("app.d0"), "*** FILE HEADER ***\n"
                              "ADDR:00000040: DATA:A3A2A1A0 A7A6A5A4 :END:\n"
                              "*** FILE FOOTER ***\n");
}

// ---------------------------------------------------------------------------
// Binary

TEST_F(E2eFormats, BinaryNeedsAByteWideMemory) {
    input(SINGLE_BYTE);
    RunResult r = run({"-b", "-memwidth", "32"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, ">> FATAL ERROR: Binary format must have a memory width of 8 bits (aborting)\n");
    EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"app.out"});
}

TEST_F(E2eFormats, BinaryWritesSectionsBackToBack) {
    // Two sections at 0x0 and 0x100: the second's bytes follow the first's.
    input("section .a paddr=0\n  bytes 0A 0D 00 1A\nsection .b paddr=0x100\n  bytes FF 0A 0D\n");
    RunResult r = run({"-b"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to Binary format...\n"
              "   \"app.out\"   ==> .a\n"
              "   \"app.out\"   ==> .b\n");
    // Written in binary mode: the line-end bytes stay as they are.
    EXPECT_EQ(read_bytes(dir.file("app.b0")),
              (std::vector<uint8_t>{0x0A, 0x0D, 0x00, 0x1A, 0xFF, 0x0A, 0x0D}));
}
