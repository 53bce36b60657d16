// Extended Tektronix records: "%" LL T CC N address data, where LL counts
// the characters after the "%" and CC is the sum of the values of all hex
// digits after the "%" (the CC digits counting 0).
#include "formats/encoders.h"
#include "formats/record_cutter.h"

namespace coffhex {

namespace {

constexpr uint8_t TYPE_DATA = 6;
constexpr uint8_t TYPE_TERMINATION = 8;

struct TektronixRecords {
    // 32 data bytes a record for lanes of 1, 2, 4 or 8 bytes (the line
    // reaches 79 characters with them after its 15-character header); parts
    // of 64 bytes keep the two-digit length field within 255 characters.
    // The address field holds every address: no segments.
    static constexpr RecordLimits LIMITS = {(79 - 15 + 1) / 2, 64, 0};

    static size_t length(size_t count) { return tektronix_record_length(count); }
    [[gnu::always_inline]] static size_t encode(char* out, uint32_t address,
                                                const RecordBytes& bytes) {
        return encode_tektronix_record(out, TYPE_DATA, address, bytes);
    }
    uint32_t open(uint32_t address, bool, SectionId, OutputBuffer&) { return address; }
    void begin_file(OutputBuffer&) {}
    // The termination record carries the entry point of the input file.
    void end_file(OutputBuffer& out) {
        out.commit(encode_tektronix_record(out.room(tektronix_record_length(0)), TYPE_TERMINATION,
                                           entry_address, nullptr, 0));
    }

    uint32_t entry_address;
};

}  // namespace

std::unique_ptr<RecordWriter> make_tektronix_writer(uint32_t entry_address, ByteSink& sink,
                                                    FileChecksum* checksum) {
    return std::make_unique<RecordCutter<TektronixRecords>>(TektronixRecords{entry_address}, sink,
                                                            checksum);
}

}  // namespace coffhex
