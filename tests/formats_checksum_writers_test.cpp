// The figures every writer adds to its file's accumulator, against the
// figures of the records read back from the writer's own text: each record's
// bytes at the address the text gives them, one after the other from there.
#include "formats_fixture.h"

#include <random>

#include "formats/checksum.h"

namespace formats_test {
namespace {

using Bytes = std::vector<uint8_t>;

// A data record as a reader of the file sees it.
struct ReadRecord {
    uint32_t address;
    Bytes bytes;
};

Bytes hex_bytes(const std::string& digits) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string without_blanks(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != ' ') out += c;
    return out;
}

// Readers of the formats, written from the record grammars of the manual.
std::vector<ReadRecord> read_records(Format format, const std::string& text) {
    std::vector<ReadRecord> records;
    const std::vector<std::string> lines = lines_of(text);
    switch (format) {
    case Format::Intel: {
        uint32_t upper = 0;
        for (const std::string& line : lines) {
            if (line.size() < 11 || line[0] != ':') continue;
            const uint32_t count = hex_value(line, 1, 2);
            const uint32_t type = hex_value(line, 7, 2);
            const Bytes data = hex_bytes(line.substr(9, 2 * count));
            if (type == 4) upper = static_cast<uint32_t>(data[0] << 8 | data[1]);
            if (type == 0) records.push_back({upper << 16 | hex_value(line, 3, 4), data});
        }
        break;
    }
    case Format::Motorola:
    case Format::MotorolaS1:
    case Format::MotorolaS2:
    case Format::MotorolaS3:
        for (const std::string& line : lines) {
            if (line.size() < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3') continue;
            const size_t address_digits = 2 * static_cast<size_t>(line[1] - '0' + 1);
            const uint32_t count = hex_value(line, 2, 2);
            const size_t data_bytes = count - address_digits / 2 - 1;
            records.push_back({hex_value(line, 4, address_digits),
                               hex_bytes(line.substr(4 + address_digits, 2 * data_bytes))});
        }
        break;
    case Format::Tektronix:
        for (const std::string& line : lines)
            if (line.size() > 15 && line[0] == '%' && line[3] == '6')
                records.push_back({hex_value(line, 7, 8), hex_bytes(line.substr(15))});
        break;
    case Format::Debug:
        for (const std::string& line : lines) {
            if (line.compare(0, 5, "ADDR:") != 0) continue;
            const size_t data = line.find("DATA:") + 5;
            records.push_back({hex_value(line, 5, 8),
                               hex_bytes(without_blanks(line.substr(data, line.find(":END:") - data)))});
        }
        break;
    case Format::Generic:
        for (size_t i = 2; i < lines.size(); ++i) {
            const size_t tab = lines[i].find('\t');
            if (tab == std::string::npos) continue;
            records.push_back({hex_value(lines[i], 0, tab), hex_bytes(without_blanks(lines[i].substr(tab + 1)))});
        }
        break;
    case Format::AsciiHex: {
        // Data lines go on from the last address line, from 0 at the start.
        uint32_t cursor = 0;
        for (const std::string& line : lines) {
            if (line.compare(0, 2, "$A") == 0) {
                cursor = hex_value(line, 2, line.find(',') - 2);
            } else if (!line.empty() && line[0] != '\x02' && line[0] != '\x03') {
                const Bytes data = hex_bytes(without_blanks(line));
                records.push_back({cursor, data});
                cursor += static_cast<uint32_t>(data.size());
            }
        }
        break;
    }
    case Format::Tagged: {
        // Data fields go on from the last load address, across cards.
        uint32_t cursor = 0;
        for (const std::string& card : lines) {
            for (size_t at = 0; at < card.size() && card[at] != '7';) {
                if (card[at] == 'K') {
                    at += 13;
                } else if (card[at] == '9') {
                    cursor = hex_value(card, at + 1, 4);
                    at += 5;
                } else {
                    const size_t digits = card[at] == 'B' ? 4 : 2;
                    const Bytes data = hex_bytes(card.substr(at + 1, digits));
                    records.push_back({cursor, data});
                    cursor += static_cast<uint32_t>(data.size());
                    at += 1 + digits;
                }
            }
        }
        break;
    }
    case Format::Binary:
        records.push_back({0, Bytes(text.begin(), text.end())});
        break;
    }
    return records;
}

// CRC-32 bit by bit, the textbook loop (no tables).
uint32_t crc32_bits(const Bytes& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// The figures of the records read back: every byte at its address (modulo
// the width of the file's addresses); in address order when every byte lies
// above all bytes before it.
coffhex::ChecksumFigures figures_of(const std::vector<ReadRecord>& records, int address_bits) {
    coffhex::ChecksumFigures f;
    const uint64_t space = uint64_t{1} << address_bits;
    Bytes all;
    bool any = false;
    uint64_t highest = 0;
    for (const ReadRecord& record : records) {
        for (size_t i = 0; i < record.bytes.size(); ++i) {
            const uint64_t address = (uint64_t{record.address} + i) % space;
            if (any && address <= highest) f.address_order = false;
            f.low = !any || address < f.low ? static_cast<uint32_t>(address) : f.low;
            highest = !any || address > highest ? address : highest;
            any = true;
            f.sum += record.bytes[i];
            all.push_back(record.bytes[i]);
        }
    }
    f.high = static_cast<uint32_t>(highest);
    f.bytes = all.size();
    f.crc = crc32_bits(all);
    return f;
}

void expect_same(const coffhex::ChecksumFigures& actual, const coffhex::ChecksumFigures& read) {
    EXPECT_EQ(actual.bytes, read.bytes);
    EXPECT_EQ(actual.low, read.low);
    EXPECT_EQ(actual.high, read.high);
    EXPECT_EQ(actual.sum, read.sum);
    EXPECT_EQ(actual.crc, read.crc);
    EXPECT_EQ(actual.address_order, read.address_order);
}

using ChecksumWritersTest = WriterTest;

// Every format, lane pieces of several widths and strides, starts below a
// 64 KB, a 16 MB and the 4 GB boundary, a flush and a jump back: the
// figures the writer adds are those of the file it wrote.
TEST_F(ChecksumWritersTest, FiguresAreThoseOfTheRecordsReadBack) {
    struct Layout {
        int piece;
        size_t stride;
        uint32_t step;
    };
    const Layout layouts[] = {{1, 1, 1}, {1, 4, 4}, {2, 8, 8}, {2, 2, 2}, {33, 33, 33}, {200, 200, 200}};
    const uint32_t starts[] = {0x100, 0xFFE1, 0xFFFFE3, 0xFFFFFFC0u};
    uint32_t seed = 40;
    coffhex::FileChecksum checksum;
    for (int f = 0; f < coffhex::FORMAT_COUNT; ++f) {
        const Format format = static_cast<Format>(f);
        for (const Layout& layout : layouts) {
            for (uint32_t start : starts) {
                SCOPED_TRACE(testing::Message() << "format " << f << " piece " << layout.piece
                                                << " stride " << layout.stride << " start 0x"
                                                << std::hex << start);
                const size_t pieces = 900 / static_cast<size_t>(layout.piece) + 30;
                const Bytes data = testsupport::test_bytes(pieces * layout.stride, ++seed);
                checksum.reset(coffhex::file_address_bits(format));
                open(format, layout.piece, 20, 0, &checksum);
                uint32_t address = start;
                writer_->new_address(address, 0);
                const size_t ends[3] = {pieces / 3, 2 * pieces / 3, pieces};
                for (size_t stretch = 0, i = 0; stretch < 3; ++stretch) {
                    if (stretch == 1 && writer_->pending()) writer_->end_record();
                    if (stretch == 2) writer_->new_address(address = 0x20000, 0);
                    const size_t n = ends[stretch] - i;
                    writer_->data({data.data() + i * layout.stride, n, layout.piece, layout.stride,
                                   address, layout.step},
                                  0);
                    address += static_cast<uint32_t>(n) * layout.step;
                    i = ends[stretch];
                }
                const std::string text = finish();
                const int bits = format == Format::Binary ? 32 : coffhex::file_address_bits(format);
                expect_same(checksum.figures(), figures_of(read_records(format, text), bits));
            }
        }
    }
}

// Without an accumulator the writers write what they wrote before.
TEST_F(ChecksumWritersTest, SameTextWithAndWithoutTheAccumulator) {
    const Bytes data = testsupport::test_bytes(4 * 300, 2);
    for (int f = 0; f < coffhex::FORMAT_COUNT; ++f) {
        const Format format = static_cast<Format>(f);
        std::string texts[2];
        coffhex::FileChecksum checksum;
        for (int with = 0; with < 2; ++with) {
            checksum.reset(coffhex::file_address_bits(format));
            open(format, 2, 20, 0x1234, with != 0 ? &checksum : nullptr);
            write(0x400, data, 2, 4);
            texts[with] = finish();
        }
        EXPECT_EQ(texts[1], texts[0]) << "format " << f;
        EXPECT_EQ(checksum.figures().bytes, data.size()) << "format " << f;
    }
}

}  // namespace
}  // namespace formats_test
