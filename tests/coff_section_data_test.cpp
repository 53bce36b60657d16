// Section data: chunking, the .cinit records, read failures, trace lines and
// streaming of large sections.
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "coff_test_fixture.h"

namespace {

using namespace coffhex;
using cofftest::abort_status;
using cofftest::CoffTest;
using cofftest::file_order;
using cofftest::Input;
using cofftest::kReadError;
using cofftest::RecordingSink;
using Bytes = std::vector<uint8_t>;

class SectionData : public CoffTest {
protected:
    // Reads the headers of a description and then its section data, all
    // sections in file order, into `sink`; returns the exit status when the
    // reading ends the run, -1 when it completes.
    int read_all(const std::string& description, ChunkSink& sink) {
        input_ = open(description);
        input_->file.read_headers(false);
        return abort_status([&] { input_->file.read_section_data(file_order(input_->file), sink, false); });
    }

    std::unique_ptr<Input> input_;
};

TEST_F(SectionData, LargeSectionInChunks) {
    auto in = open("section .text paddr=0x1000 page=1\n pattern 40000 seed=3\n");
    RecordingSink sink;
    ASSERT_NO_THROW({
        in->file.read_headers(true);
        in->file.trace_headers();
        in->file.read_section_data(file_order(in->file), sink, true);
    }) << in->err();
    // The header summary, then one dot per chunk.
    EXPECT_EQ(in->out(), "   1 sections, unswapped format, little-E data\n   No relocation\n...");

    ASSERT_EQ(sink.pieces.size(), 3u);
    const uint32_t lengths[] = {16384, 16384, 7232};
    const uint32_t addresses[] = {0x1000, 0x1000 + 16384, 0x1000 + 32768};
    Bytes all;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sink.pieces[i].length, lengths[i]);
        EXPECT_EQ(sink.pieces[i].address, addresses[i]);
        EXPECT_EQ(sink.pieces[i].page, 1);
        EXPECT_EQ(sink.pieces[i].section, 0);
        all.insert(all.end(), sink.pieces[i].bytes.begin(), sink.pieces[i].bytes.end());
    }
    EXPECT_EQ(all, coffgen::pattern_bytes(40000, 3));
}

TEST_F(SectionData, SectionsWithoutLoadableData) {
    // Size 0, no data in the file, flags 0x01, 0x02, 0x10 (a copy section
    // not named .cinit): nothing reaches the sink. The last one is loaded.
    RecordingSink sink;
    ASSERT_EQ(read_all("section empty size=0\n bytes 01\n"
                       "section nodata size=8 nodata\n bytes 01\n"
                       "section dsect flags=0x21\n bytes 01\n"
                       "section noload flags=0x22\n bytes 01\n"
                       "section copy flags=0x10\n record 0x10 01\n"
                       "section .text paddr=0x200\n bytes 0F\n",
                       sink),
              -1)
        << input_->err();
    ASSERT_EQ(sink.pieces.size(), 1u);
    EXPECT_EQ(sink.pieces[0].address, 0x200u);
    EXPECT_EQ(sink.pieces[0].section, 5);
    EXPECT_EQ(sink.pieces[0].bytes, Bytes{0x0F});
}

TEST_F(SectionData, SectionsInArrayOrderCinitLast) {
    RecordingSink sink;
    ASSERT_EQ(read_all("section .cinit flags=0x10\n record 0x900 AA BB\n end-records\n"
                       "section .data paddr=0x500 vaddr=0x600 page=2\n bytes 01 02\n"
                       "section .bss paddr=0x900 size=8 nodata page=3\n"
                       "section .text paddr=0x100\n bytes 03\n",
                       sink),
              -1)
        << input_->err();
    const auto& sections = input_->file.sections();
    ASSERT_EQ(sink.pieces.size(), 3u);
    // Pass 1: loadable sections at their virtual address and own page.
    EXPECT_EQ(sink.pieces[0].address, 0x600u);
    EXPECT_EQ(sink.pieces[0].page, 2);
    EXPECT_EQ(sink.pieces[0].section, 1);
    EXPECT_EQ(sink.pieces[0].entry, &sections[1]);
    EXPECT_EQ(sink.pieces[1].address, 0x100u);
    EXPECT_EQ(sink.pieces[1].section, 3);
    EXPECT_EQ(sink.pieces[1].entry, &sections[3]);
    // Pass 2: the records, with the .bss page and the .cinit index.
    EXPECT_EQ(sink.pieces[2].address, 0x900u);
    EXPECT_EQ(sink.pieces[2].page, 3);
    EXPECT_EQ(sink.pieces[2].section, 0);
    EXPECT_EQ(sink.pieces[2].entry, &sections[0]);
    EXPECT_EQ(sink.pieces[2].bytes, (Bytes{0xAA, 0xBB}));
}

TEST_F(SectionData, OneCinitRecord) {
    auto in = open("section .bss paddr=0x8000 size=0x10 nodata page=5\n"
                   "section .cinit flags=0x10\n record 0x8000 01 02 03 04 05 06\n end-records\n");
    RecordingSink sink;
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
    ASSERT_NO_THROW(in->file.read_section_data(file_order(in->file), sink, true)) << in->err();
    EXPECT_EQ(in->out(),
              "   Autoinitialization from <.cinit>\n\tLoading <.cinit>,\taddr=0x8000, size=0x0006.\n");
    // The record: 8-byte header, 6 data bytes, 2 padding bytes; then a zero
    // length. Exactly one piece.
    EXPECT_EQ(in->file.sections()[1].size, 20u);
    ASSERT_EQ(sink.pieces.size(), 1u);
    EXPECT_EQ(sink.pieces[0].address, 0x8000u);
    EXPECT_EQ(sink.pieces[0].length, 6u);
    EXPECT_EQ(sink.pieces[0].page, 5);
    EXPECT_EQ(sink.pieces[0].section, 1);
    EXPECT_EQ(sink.pieces[0].bytes, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(SectionData, BssPageRules) {
    // No .bss: page 0.
    {
        RecordingSink sink;
        ASSERT_EQ(read_all("section .cinit flags=0x10 page=9\n record 0x10 01\n", sink), -1) << input_->err();
        ASSERT_EQ(sink.pieces.size(), 1u);
        EXPECT_EQ(sink.pieces[0].page, 0);
    }

    // The first .bss in file order counts.
    RecordingSink sink;
    ASSERT_EQ(read_all("section .cinit flags=0x10\n record 0x10 01\n"
                       "section .bss nodata size=4 page=4\n"
                       "section .bss nodata size=4 page=6\n",
                       sink),
              -1)
        << input_->err();
    ASSERT_EQ(sink.pieces.size(), 1u);
    EXPECT_EQ(sink.pieces[0].page, 4);
}

TEST_F(SectionData, SectionKindsGoByTheNameTextHoweverStored) {
    // A copy section whose string-table name is ".cinit" is read as records,
    // at the page of a .bss section whose name is in the string table too; a
    // copy section with another name is not read, and a .cinit without the
    // copy flag is an ordinary section.
    // String table: ".cinit\0" at 4, ".bss\0" at 11.
    RecordingSink sink;
    ASSERT_EQ(read_all("section x stroff=4 flags=0x10\n record 0x10 01\n"
                       "section .cinitx flags=0x10\n record 0x20 02\n"
                       "section .cinit flags=0x40\n bytes 99\n"
                       "section y stroff=11 nodata size=4 page=6\n"
                       "symbol s 1\n"
                       "strtab-extra 2E 63 69 6E 69 74 00 2E 62 73 73 00\n",
                       sink),
              -1)
        << input_->err();
    const auto& sections = input_->file.sections();
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_EQ(sections[0].name, ".cinit");
    EXPECT_TRUE(sections[0].long_name);
    EXPECT_TRUE(sections[0].is_cinit());
    EXPECT_EQ(sections[3].name, ".bss");
    EXPECT_TRUE(sections[3].is_bss());
    EXPECT_EQ(input_->file.bss(), &sections[3]);

    ASSERT_EQ(sink.pieces.size(), 2u);
    EXPECT_EQ(sink.pieces[0].section, 2);
    EXPECT_EQ(sink.pieces[0].bytes, Bytes{0x99});
    EXPECT_EQ(sink.pieces[1].section, 0);
    EXPECT_EQ(sink.pieces[1].address, 0x10u);
    EXPECT_EQ(sink.pieces[1].page, 6);
    EXPECT_EQ(sink.pieces[1].bytes, Bytes{0x01});
}

TEST_F(SectionData, CinitWithoutDataInTheFile) {
    // Position 0: the chunk is all zeros, its first length reads 0.
    RecordingSink sink;
    ASSERT_EQ(read_all("section .cinit flags=0x10 size=64 nodata\n", sink), -1) << input_->err();
    EXPECT_TRUE(sink.pieces.empty());
}

TEST_F(SectionData, RecordByteOrder) {
    // The length and address follow the data byte order, whatever the
    // header byte order; written out by hand here.
    {
        RecordingSink sink;
        ASSERT_EQ(read_all("headers lsb\ndata msb\n"
                           "section .cinit flags=0x10\n raw 00 00 00 06 00 00 80 00 01 02 03 04 05 06 00 00\n",
                           sink),
                  -1)
            << input_->err();
        ASSERT_EQ(sink.pieces.size(), 1u);
        EXPECT_EQ(sink.pieces[0].address, 0x8000u);
        EXPECT_EQ(sink.pieces[0].length, 6u);
        const uint8_t word[4] = {0x12, 0x34, 0x56, 0x78};
        EXPECT_EQ(input_->file.target_word(word), 0x12345678u);
    }

    RecordingSink sink;
    ASSERT_EQ(read_all("headers msb\ndata lsb\n"
                       "section .cinit flags=0x10\n raw 06 00 00 00 00 80 00 00 01 02 03 04 05 06 00 00\n",
                       sink),
              -1)
        << input_->err();
    ASSERT_EQ(sink.pieces.size(), 1u);
    EXPECT_EQ(sink.pieces[0].address, 0x8000u);
    EXPECT_EQ(sink.pieces[0].length, 6u);
    const uint8_t word[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(input_->file.target_word(word), 0x78563412u);
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
        RecordingSink sink;
        const std::string description =
            std::string("section .cinit flags=0x10\n record 0x100 11 22 33 44 55 66 77 88\n raw ") + c.tail + "\n";
        const int status = read_all(description, sink);
        EXPECT_EQ(status, c.ok ? -1 : 1);
        EXPECT_EQ(input_->err(), c.ok ? "" : kReadError);
        // The complete record is handed on either way.
        ASSERT_EQ(sink.pieces.size(), 1u);
        EXPECT_EQ(sink.pieces[0].length, 8u);
    }

    // A section that ends right after a record's data (no padding): success.
    RecordingSink sink;
    EXPECT_EQ(read_all("section .cinit flags=0x10\n raw 03 00 00 00 00 01 00 00 0A 0B 0C\n", sink), -1)
        << input_->err();
    ASSERT_EQ(sink.pieces.size(), 1u);
    EXPECT_EQ(sink.pieces[0].bytes, (Bytes{0x0A, 0x0B, 0x0C}));
}

TEST_F(SectionData, RecordAcrossChunks) {
    coffgen::Object o;
    coffgen::Section s;
    s.name = ".cinit";
    s.flags = 0x10;
    const Bytes data = coffgen::pattern_bytes(20000, 9);
    coffgen::add_cinit_record(o, s, 0x8000, data);
    coffgen::add_cinit_record(o, s, 0x20000, {0xEE});
    coffgen::add_cinit_end(o, s);
    o.sections.push_back(s);
    auto in = open_object(o);
    RecordingSink sink;
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
    ASSERT_NO_THROW(in->file.read_section_data(file_order(in->file), sink, true)) << in->err();
    // Chunk 1 holds the header and 16376 data bytes; chunk 2 the other 3624
    // (0xe28) at 0x8000 + 16376 = 0xbff8, then the second record.
    EXPECT_EQ(in->out(),
              "   Autoinitialization from <.cinit>"
              "\n\tLoading <.cinit>,\taddr=0x8000, size=0x4e20."
              "\n\tLoading <.cinit>,\taddr=0xbff8, size=0x0e28"
              "\n\tLoading <.cinit>,\taddr=0x20000, size=0x0001.\n");
    ASSERT_EQ(sink.pieces.size(), 3u);
    EXPECT_EQ(sink.pieces[0].address, 0x8000u);
    EXPECT_EQ(sink.pieces[0].length, 16376u);
    EXPECT_EQ(sink.pieces[1].address, 0xBFF8u);
    EXPECT_EQ(sink.pieces[1].length, 3624u);
    Bytes joined = sink.pieces[0].bytes;
    joined.insert(joined.end(), sink.pieces[1].bytes.begin(), sink.pieces[1].bytes.end());
    EXPECT_EQ(joined, data);
    EXPECT_EQ(sink.pieces[2].address, 0x20000u);
    EXPECT_EQ(sink.pieces[2].bytes, Bytes{0xEE});
}

TEST_F(SectionData, RecordStateCarriesToTheNextCinitSection) {
    // The first .cinit ends inside a record of 6 bytes after 2 of them; the
    // second .cinit's bytes continue that record.
    RecordingSink sink;
    ASSERT_EQ(read_all("section .cinit flags=0x10\n raw 06 00 00 00 00 30 00 00 01 02\n"
                       "section .cinit flags=0x10\n raw 03 04 05 06\n",
                       sink),
              -1)
        << input_->err();
    ASSERT_EQ(sink.pieces.size(), 2u);
    EXPECT_EQ(sink.pieces[0].address, 0x3000u);
    EXPECT_EQ(sink.pieces[0].section, 0);
    EXPECT_EQ(sink.pieces[1].address, 0x3002u);
    EXPECT_EQ(sink.pieces[1].bytes, (Bytes{3, 4, 5, 6}));
    EXPECT_EQ(sink.pieces[1].section, 1);
}

TEST_F(SectionData, DataPastTheEndOfTheFile) {
    // 40000 bytes claimed, 20000 present: the first full chunk is handed
    // on, then the read fails.
    {
        Bytes file = coffgen::build(coffgen::parse("section .text paddr=0x100\n pattern 40000\n"));
        file.resize(file.size() - 20000);
        auto in = open_bytes(file);
        RecordingSink sink;
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        EXPECT_EQ(abort_status([&] { in->file.read_section_data(file_order(in->file), sink, false); }), 1);
        EXPECT_EQ(in->err(), kReadError);
        ASSERT_EQ(sink.pieces.size(), 1u);
        EXPECT_EQ(sink.pieces[0].length, 16384u);
    }

    // A raw-data position past the end, and one whose sum with the size
    // wraps 32 bits: nothing is read from outside the file.
    for (const char* section : {"section s datapos=0x7FFFFFFF size=16\n",
                                "section s datapos=0xFFFFFFF0 size=0x20\n bytes 01\n"}) {
        SCOPED_TRACE(section);
        RecordingSink sink;
        EXPECT_EQ(read_all(section, sink), 1);
        EXPECT_EQ(input_->err(), kReadError);
        EXPECT_TRUE(sink.pieces.empty());
    }
}

// Ends the run at the first chunk it is given, as a sink whose output fails
// does.
class FailingSink : public ChunkSink {
public:
    void load_chunk(int index, const SectionEntry&, const uint8_t*, uint32_t, uint32_t, int32_t) override {
        sections.push_back(index);
        throw RunAbort{1};
    }
    std::vector<int> sections;
};

TEST_F(SectionData, SinkFailureStopsBothPasses) {
    {
        FailingSink sink;
        EXPECT_EQ(read_all("section .text\n bytes 01\nsection .cinit flags=0x10\n record 0x10 01\n", sink), 1);
        EXPECT_EQ(sink.sections, std::vector<int>{0});
    }

    FailingSink sink;
    EXPECT_EQ(read_all("section .cinit flags=0x10\n record 0x10 01\nsection .cinit flags=0x10\n record 0x20 02\n",
                       sink),
              1);
    EXPECT_EQ(sink.sections, std::vector<int>{0});
}

TEST_F(SectionData, ShortLastChunkCarriesNoStaleBytes) {
    // A 16385-byte section: the second chunk of 1 byte must not show the
    // bytes of the first in the rest of the buffer the sink is given.
    class Probe : public ChunkSink {
    public:
        void load_chunk(int, const SectionEntry&, const uint8_t* data, uint32_t length, uint32_t,
                        int32_t) override {
            ++chunks;
            for (uint32_t i = length; i < LOADBUFSIZE; ++i)
                if (data[i] != 0) ++stale;
        }
        int chunks = 0;
        int stale = 0;
    } probe;
    ASSERT_EQ(read_all("section .text\n fill 16384 0xFF\n bytes 77\n", probe), -1) << input_->err();
    EXPECT_EQ(probe.chunks, 2);
    EXPECT_EQ(probe.stale, 0);
}

long peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(SectionData, LargeSectionStreamsThroughOneBuffer) {
    // A 256 MiB section whose data are a hole in a sparse file (read back as
    // zeros): the peak resident size must not grow by anything like it.
    class Counter : public ChunkSink {
    public:
        void load_chunk(int, const SectionEntry&, const uint8_t*, uint32_t length, uint32_t address,
                        int32_t) override {
            if (address != next_address) in_order = false;
            next_address = address + length;
            bytes_seen += length;
            if (length > largest_piece) largest_piece = length;
        }
        uint64_t bytes_seen = 0;
        uint32_t largest_piece = 0;
        uint32_t next_address = 0;
        bool in_order = true;
    } counter;

    const uint32_t size = 256u << 20;
    coffgen::Object o;
    coffgen::Section s;
    s.name = ".text";
    s.size = size;
    s.data_pos = 22 + 48;
    o.sections.push_back(s);
    auto in = open_object(o);
    ASSERT_EQ(truncate(path().c_str(), static_cast<off_t>(22 + 48) + size), 0);
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();

    const long before = peak_rss_kib();
    ASSERT_NO_THROW(in->file.read_section_data(file_order(in->file), counter, false)) << in->err();
    const long growth = peak_rss_kib() - before;
    EXPECT_EQ(counter.bytes_seen, size);
    EXPECT_EQ(counter.largest_piece, LOADBUFSIZE);
    EXPECT_TRUE(counter.in_order);
    EXPECT_LT(growth, 8 * 1024) << "peak resident size grew by " << growth << " KiB";
}

}  // namespace
