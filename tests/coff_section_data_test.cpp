// Section data: chunking, the .cinit records, read failures, trace lines and
// streaming of large sections.
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "coff_test_fixture.h"

namespace {

using namespace coffhex;
using cofftest::CoffTest;
using cofftest::pieces;
using Bytes = std::vector<uint8_t>;

class SectionData : public CoffTest {
protected:
    // Reads the headers of a description and then its section data.
    bool read_all(const std::string& description) {
        open(description);
        if (!read_coff_headers()) return false;
        return read_all_section_data();
    }
};

TEST_F(SectionData, LargeSectionInChunks) {
    options().trace_level = 1;
    open("section .text paddr=0x1000 page=1\n pattern 40000 seed=3\n");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(read_coff_headers());
    ASSERT_TRUE(read_all_section_data());
    std::string out = testing::internal::GetCapturedStdout();
    // The header summary, then one dot per chunk.
    EXPECT_EQ(out, "<translate>\n   1 sections, unswapped format, little-E data\n   No relocation\n...");

    ASSERT_EQ(pieces().size(), 3u);
    const uint32_t lengths[] = {16384, 16384, 7232};
    const uint32_t addresses[] = {0x1000, 0x1000 + 16384, 0x1000 + 32768};
    Bytes all;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(pieces()[i].length, lengths[i]);
        EXPECT_EQ(pieces()[i].address, addresses[i]);
        EXPECT_EQ(pieces()[i].page, 1);
        EXPECT_EQ(pieces()[i].section, 0);
        all.insert(all.end(), pieces()[i].bytes.begin(), pieces()[i].bytes.end());
    }
    EXPECT_EQ(all, coffgen::pattern_bytes(40000, 3));
}

TEST_F(SectionData, SectionsWithoutLoadableData) {
    // Size 0, no data in the file, flags 0x01, 0x02, 0x10 (a copy section
    // not named .cinit): nothing reaches the sink. The last one is loaded.
    ASSERT_TRUE(read_all("section empty size=0\n bytes 01\n"
                         "section nodata size=8 nodata\n bytes 01\n"
                         "section dsect flags=0x21\n bytes 01\n"
                         "section noload flags=0x22\n bytes 01\n"
                         "section copy flags=0x10\n record 0x10 01\n"
                         "section .text paddr=0x200\n bytes 0F\n"));
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].address, 0x200u);
    EXPECT_EQ(pieces()[0].section, 5);
    EXPECT_EQ(pieces()[0].bytes, Bytes{0x0F});
    // current_section keeps the last index looked at.
    EXPECT_EQ(coff_input().current_section, 5);
}

TEST_F(SectionData, SectionsInArrayOrderCinitLast) {
    ASSERT_TRUE(read_all("section .cinit flags=0x10\n record 0x900 AA BB\n end-records\n"
                         "section .data paddr=0x500 vaddr=0x600 page=2\n bytes 01 02\n"
                         "section .bss paddr=0x900 size=8 nodata page=3\n"
                         "section .text paddr=0x100\n bytes 03\n"));
    ASSERT_EQ(pieces().size(), 3u);
    // Pass 1: loadable sections at their virtual address and own page.
    EXPECT_EQ(pieces()[0].address, 0x600u);
    EXPECT_EQ(pieces()[0].page, 2);
    EXPECT_EQ(pieces()[0].section, 1);
    EXPECT_EQ(pieces()[1].address, 0x100u);
    EXPECT_EQ(pieces()[1].section, 3);
    // Pass 2: the records, with the .bss page and the .cinit index.
    EXPECT_EQ(pieces()[2].address, 0x900u);
    EXPECT_EQ(pieces()[2].page, 3);
    EXPECT_EQ(pieces()[2].section, 0);
    EXPECT_EQ(pieces()[2].bytes, (Bytes{0xAA, 0xBB}));
}

TEST_F(SectionData, OneCinitRecord) {
    options().trace_level = 1;
    open("section .bss paddr=0x8000 size=0x10 nodata page=5\n"
         "section .cinit flags=0x10\n record 0x8000 01 02 03 04 05 06\n end-records\n");
    ASSERT_TRUE(read_coff_headers());
    testing::internal::CaptureStdout();
    ASSERT_TRUE(read_all_section_data());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "   Autoinitialization from <.cinit>\n\tLoading <.cinit>,\taddr=0x8000, size=0x0006.\n");
    // The record: 8-byte header, 6 data bytes, 2 padding bytes; then a zero
    // length. Exactly one piece.
    EXPECT_EQ(coff_input().sections[1].size, 20u);
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].address, 0x8000u);
    EXPECT_EQ(pieces()[0].length, 6u);
    EXPECT_EQ(pieces()[0].page, 5);
    EXPECT_EQ(pieces()[0].section, 1);
    EXPECT_EQ(pieces()[0].bytes, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(SectionData, BssPageRules) {
    // No .bss: page 0.
    ASSERT_TRUE(read_all("section .cinit flags=0x10 page=9\n record 0x10 01\n"));
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].page, 0);

    // The first .bss in array order counts.
    SetUp();
    ASSERT_TRUE(read_all("section .cinit flags=0x10\n record 0x10 01\n"
                         "section .bss nodata size=4 page=4\n"
                         "section .bss nodata size=4 page=6\n"));
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].page, 4);
}

TEST_F(SectionData, OnlyTheInlineNameCinitCounts) {
    // A copy section whose string-table name is ".cinit" is not read, nor is
    // a copy section with another name; a .cinit without the copy flag is an
    // ordinary section.
    ASSERT_TRUE(read_all("section x stroff=4 flags=0x10\n record 0x10 01\n"
                         "section .cinitx flags=0x10\n record 0x20 02\n"
                         "section .cinit flags=0x40\n bytes 99\n"
                         "symbol s 1\n"
                         "strtab-extra 2E 63 69 6E 69 74 00\n"));
    ASSERT_STREQ(section_name_text(coff_input().sections[0]), ".cinit");
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].section, 2);
    EXPECT_EQ(pieces()[0].bytes, Bytes{0x99});
}

TEST_F(SectionData, CinitWithoutDataInTheFile) {
    // Position 0: the chunk is all zeros, its first length reads 0.
    ASSERT_TRUE(read_all("section .cinit flags=0x10 size=64 nodata\n"));
    EXPECT_TRUE(pieces().empty());
}

TEST_F(SectionData, RecordByteOrder) {
    // The length and address follow the data byte order, whatever the
    // header byte order; written out by hand here.
    ASSERT_TRUE(read_all("headers lsb\ndata msb\n"
                         "section .cinit flags=0x10\n raw 00 00 00 06 00 00 80 00 01 02 03 04 05 06 00 00\n"));
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].address, 0x8000u);
    EXPECT_EQ(pieces()[0].length, 6u);

    SetUp();
    ASSERT_TRUE(read_all("headers msb\ndata lsb\n"
                         "section .cinit flags=0x10\n raw 06 00 00 00 00 80 00 00 01 02 03 04 05 06 00 00\n"));
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].address, 0x8000u);
    EXPECT_EQ(pieces()[0].length, 6u);

    uint8_t word[4] = {0x12, 0x34, 0x56, 0x78};
    coff_input().big_endian_data = true;
    EXPECT_EQ(read_target_word(word), 0x12345678u);
    coff_input().big_endian_data = false;
    EXPECT_EQ(read_target_word(word), 0x78563412u);
}

TEST_F(SectionData, TruncatedCinitTails) {
    struct Case {
        const char* tail;
        bool ok;
    } cases[] = {
        {"", true},                      // right after a record's padding
        {"00 00 00 00", true},           // a zero length
        {"00 00 00 00 07 07", true},     // zero length: the rest is not looked at
        {"00", false},                   // 1 to 3 bytes
        {"00 00", false},
        {"05 00 00", false},
        {"05 00 00 00", false},          // 4 to 7 bytes with a non-zero length
        {"05 00 00 00 00 01 02", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        SetUp();
        const bool ok = read_all(std::string("section .cinit flags=0x10\n record 0x100 11 22 33 44 55 66 77 88\n") +
                                 " raw " + c.tail + "\n");
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(recorded_load_error(), c.ok ? LOAD_OK : ReadError);
        // The complete record is handed on either way.
        ASSERT_EQ(pieces().size(), 1u);
        EXPECT_EQ(pieces()[0].length, 8u);
        TearDown();
    }

    // A section that ends right after a record's data (no padding): success.
    SetUp();
    EXPECT_TRUE(read_all("section .cinit flags=0x10\n raw 03 00 00 00 00 01 00 00 0A 0B 0C\n"));
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].bytes, (Bytes{0x0A, 0x0B, 0x0C}));
}

TEST_F(SectionData, RecordAcrossChunks) {
    options().trace_level = 1;
    coffgen::Object o;
    coffgen::Section s;
    s.name = ".cinit";
    s.flags = 0x10;
    const Bytes data = coffgen::pattern_bytes(20000, 9);
    coffgen::add_cinit_record(o, s, 0x8000, data);
    coffgen::add_cinit_record(o, s, 0x20000, {0xEE});
    coffgen::add_cinit_end(o, s);
    o.sections.push_back(s);
    open_object(o);
    ASSERT_TRUE(read_coff_headers());
    testing::internal::CaptureStdout();
    ASSERT_TRUE(read_all_section_data());
    // Chunk 1 holds the header and 16376 data bytes; chunk 2 the other 3624
    // (0xe28) at 0x8000 + 16376 = 0xbff8, then the second record.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "   Autoinitialization from <.cinit>"
              "\n\tLoading <.cinit>,\taddr=0x8000, size=0x4e20."
              "\n\tLoading <.cinit>,\taddr=0xbff8, size=0x0e28"
              "\n\tLoading <.cinit>,\taddr=0x20000, size=0x0001.\n");
    ASSERT_EQ(pieces().size(), 3u);
    EXPECT_EQ(pieces()[0].address, 0x8000u);
    EXPECT_EQ(pieces()[0].length, 16376u);
    EXPECT_EQ(pieces()[1].address, 0xBFF8u);
    EXPECT_EQ(pieces()[1].length, 3624u);
    Bytes joined = pieces()[0].bytes;
    joined.insert(joined.end(), pieces()[1].bytes.begin(), pieces()[1].bytes.end());
    EXPECT_EQ(joined, data);
    EXPECT_EQ(pieces()[2].address, 0x20000u);
    EXPECT_EQ(pieces()[2].bytes, Bytes{0xEE});
}

TEST_F(SectionData, ExpandCarriesAnIncompleteHeader) {
    // A buffer holding one record (8 + 2 data, padded to 16) and then 5
    // bytes of the next record's header: those 5 are left for the next
    // chunk, and n becomes the record start.
    uint8_t buffer[LOADBUFSIZE] = {};
    const uint8_t bytes[] = {2, 0, 0, 0, 0x00, 0x10, 0, 0, 0xA1, 0xA2, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0x00};
    std::memcpy(buffer, bytes, sizeof bytes);
    uint32_t n = sizeof bytes;
    uint32_t carry = 0;
    ASSERT_TRUE(expand_cinit_records(buffer, n, carry));
    EXPECT_EQ(n, 16u);
    EXPECT_EQ(carry, 5u);
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].address, 0x1000u);

    // The header completed in the next chunk; the record continues into a
    // third chunk with its state carried over.
    const uint8_t next[] = {4, 0, 0, 0, 0x00, 0x20, 0, 0, 0xB1, 0xB2};
    std::memcpy(buffer, next, sizeof next);
    n = sizeof next;
    carry = 0;
    ASSERT_TRUE(expand_cinit_records(buffer, n, carry));
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(carry, 0u);
    const uint8_t last[] = {0xB3, 0xB4, 0, 0, 0, 0, 0, 0};
    std::memcpy(buffer, last, sizeof last);
    n = sizeof last;
    ASSERT_TRUE(expand_cinit_records(buffer, n, carry));
    ASSERT_EQ(pieces().size(), 3u);
    EXPECT_EQ(pieces()[1].address, 0x2000u);
    EXPECT_EQ(pieces()[1].bytes, (Bytes{0xB1, 0xB2}));
    EXPECT_EQ(pieces()[2].address, 0x2002u);
    EXPECT_EQ(pieces()[2].bytes, (Bytes{0xB3, 0xB4}));
}

TEST_F(SectionData, RecordStateCarriesToTheNextCinitSection) {
    // The first .cinit ends inside a record of 6 bytes after 2 of them; the
    // second .cinit's bytes continue that record.
    ASSERT_TRUE(read_all("section .cinit flags=0x10\n raw 06 00 00 00 00 30 00 00 01 02\n"
                         "section .cinit flags=0x10\n raw 03 04 05 06\n"));
    ASSERT_EQ(pieces().size(), 2u);
    EXPECT_EQ(pieces()[0].address, 0x3000u);
    EXPECT_EQ(pieces()[0].section, 0);
    EXPECT_EQ(pieces()[1].address, 0x3002u);
    EXPECT_EQ(pieces()[1].bytes, (Bytes{3, 4, 5, 6}));
    EXPECT_EQ(pieces()[1].section, 1);
}

TEST_F(SectionData, DataPastTheEndOfTheFile) {
    // 40000 bytes claimed, 20000 present: the first full chunk is handed
    // on, then the read fails.
    Bytes file = coffgen::build(coffgen::parse("section .text paddr=0x100\n pattern 40000\n"));
    file.resize(file.size() - 20000);
    open_bytes(file);
    ASSERT_TRUE(read_coff_headers());
    EXPECT_FALSE(read_all_section_data());
    EXPECT_EQ(recorded_load_error(), ReadError);
    ASSERT_EQ(pieces().size(), 1u);
    EXPECT_EQ(pieces()[0].length, 16384u);

    // A raw-data position past the end, and one whose sum with the size
    // wraps 32 bits: nothing is read from outside the file.
    for (const char* section : {"section s datapos=0x7FFFFFFF size=16\n",
                                "section s datapos=0xFFFFFFF0 size=0x20\n bytes 01\n"}) {
        SetUp();
        EXPECT_FALSE(read_all(section)) << section;
        EXPECT_EQ(recorded_load_error(), ReadError);
        EXPECT_TRUE(pieces().empty());
        TearDown();
    }
}

bool failing_sink(const uint8_t*, uint32_t, uint32_t, int32_t) { return false; }

TEST_F(SectionData, SinkFailureStopsBothPasses) {
    open("section .text\n bytes 01\nsection .cinit flags=0x10\n record 0x10 01\n");
    ASSERT_TRUE(read_coff_headers());
    set_chunk_sink(failing_sink);
    EXPECT_FALSE(read_all_section_data());
    EXPECT_EQ(recorded_load_error(), TargetWriteError);
    EXPECT_EQ(coff_input().current_section, 0);

    SetUp();
    open("section .cinit flags=0x10\n record 0x10 01\n");
    ASSERT_TRUE(read_coff_headers());
    set_chunk_sink(failing_sink);
    EXPECT_FALSE(read_all_section_data());
    EXPECT_EQ(recorded_load_error(), TargetWriteError);
}

TEST_F(SectionData, ShortLastChunkCarriesNoStaleBytes) {
    // A 16385-byte section: the second chunk of 1 byte must not show the
    // bytes of the first in the rest of the buffer the sink is given.
    struct Probe {
        static bool sink(const uint8_t* data, uint32_t length, uint32_t, int32_t) {
            if (length < LOADBUFSIZE) {
                for (uint32_t i = length; i < LOADBUFSIZE; ++i)
                    if (data[i] != 0) return false;
            }
            return true;
        }
    };
    open("section .text\n fill 16384 0xFF\n bytes 77\n");
    ASSERT_TRUE(read_coff_headers());
    set_chunk_sink(Probe::sink);
    EXPECT_TRUE(read_all_section_data());
}

uint64_t g_bytes_seen = 0;
uint32_t g_largest_piece = 0;
uint32_t g_next_address = 0;
bool g_in_order = true;

bool counting_sink(const uint8_t*, uint32_t length, uint32_t address, int32_t) {
    if (address != g_next_address) g_in_order = false;
    g_next_address = address + length;
    g_bytes_seen += length;
    if (length > g_largest_piece) g_largest_piece = length;
    return true;
}

long peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(SectionData, LargeSectionStreamsThroughOneBuffer) {
    // A 256 MiB section whose data are a hole in a sparse file (read back as
    // zeros): the peak resident size must not grow by anything like it.
    const uint32_t size = 256u << 20;
    coffgen::Object o;
    coffgen::Section s;
    s.name = ".text";
    s.size = size;
    s.data_pos = 22 + 48;
    o.sections.push_back(s);
    open_object(o);
    ASSERT_EQ(truncate(path().c_str(), static_cast<off_t>(22 + 48) + size), 0);
    ASSERT_TRUE(read_coff_headers());

    g_bytes_seen = 0;
    g_largest_piece = 0;
    g_next_address = 0;
    g_in_order = true;
    set_chunk_sink(counting_sink);
    const long before = peak_rss_kib();
    ASSERT_TRUE(read_all_section_data());
    const long growth = peak_rss_kib() - before;
    EXPECT_EQ(g_bytes_seen, size);
    EXPECT_EQ(g_largest_piece, LOADBUFSIZE);
    EXPECT_TRUE(g_in_order);
    EXPECT_LT(growth, 8 * 1024) << "peak resident size grew by " << growth << " KiB";
}

}  // namespace
