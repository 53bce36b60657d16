// Motorola-S records: "S" type, LL, address, data, CC, in three address
// sizes (S1 16-bit, S2 24-bit, S3 32-bit) chosen by the format row.
#include "diag/diag.h"
#include "formats/encoders.h"
#include "formats/record_cutter.h"

namespace coffhex {

namespace {

struct Variant {
    uint8_t data_type;        // record type of data records
    uint8_t terminator_type;  // record type of the end-of-file record
    int address_bytes;        // 2, 3 or 4
    int segment_bits;         // address bits the record can carry (0 = all 32)
};

constexpr Variant S1 = {1, 9, 2, 16};
constexpr Variant S2 = {2, 8, 3, 24};
constexpr Variant S3 = {3, 7, 4, 0};

// The header record: type 0, address 0, the data "HDR".
constexpr uint8_t HEADER_DATA[3] = {'H', 'D', 'R'};

// The records of one variant (a type of its own for each, so that the data
// loop is compiled for its address size).
template <const Variant& v_>
struct MotorolaRecords {
    // A record is ended before a piece once its line holds 69 characters:
    // its header is "S", the type, LL and the address digits. Parts of at
    // most 128 bytes keep the count field within 255 whatever the ROM
    // width, and no record runs past the range of the address field.
    static constexpr RecordLimits LIMITS = {(69 - 4 - 2 * v_.address_bytes + 1) / 2, 128,
                                            v_.segment_bits};

    static size_t length(size_t count) { return srecord_length(v_.address_bytes, count); }
    [[gnu::always_inline]] static size_t encode(char* out, uint32_t address,
                                                const RecordBytes& bytes) {
        return encode_srecord(out, v_.data_type, address, v_.address_bytes, bytes);
    }
    // An address too wide for the variant's address field is cut to the
    // field, with a warning once per section entry of the run.
    uint32_t open(uint32_t address, bool, SectionId section, OutputBuffer&) {
        if (v_.segment_bits == 0 || (address >> v_.segment_bits) == 0) return address;
        if (section >= 0 && section != shared.warned_section) {
            shared.warned_section = section;
            const unsigned long full_address = address;
            if (v_.segment_bits == 16) {
                shared.diag.report(WARNING,
                                   "address 0x%08lx exceeds 4 digits - truncated (use -m or -m2)",
                                   full_address);
            } else {
                shared.diag.report(WARNING,
                                   "address 0x%08lx exceeds 6 digits - truncated (use -m or -m3)",
                                   full_address);
            }
        }
        return address & ((uint32_t{1} << v_.segment_bits) - 1);
    }
    void begin_file(OutputBuffer& out) {
        out.commit(encode_srecord(out.room(srecord_length(2, 3)), 0, 0, 2, HEADER_DATA, 3));
    }
    void end_file(OutputBuffer& out) {
        out.commit(encode_srecord(out.room(srecord_length(v_.address_bytes, 0)),
                                  v_.terminator_type, 0, v_.address_bytes, nullptr, 0));
    }

    WriterShared& shared;
};

template <const Variant& v_>
std::unique_ptr<RecordWriter> make_variant(WriterShared& shared, ByteSink& sink,
                                           FileChecksum* checksum) {
    return std::make_unique<RecordCutter<MotorolaRecords<v_>>>(MotorolaRecords<v_>{shared}, sink,
                                                               checksum);
}

}  // namespace

std::unique_ptr<RecordWriter> make_motorola_writer(Format format, WriterShared& shared,
                                                   ByteSink& sink, FileChecksum* checksum) {
    switch (format) {
    case Format::MotorolaS1:
        return make_variant<S1>(shared, sink, checksum);
    case Format::MotorolaS2:
        return make_variant<S2>(shared, sink, checksum);
    default:
        return make_variant<S3>(shared, sink, checksum);
    }
}

}  // namespace coffhex
