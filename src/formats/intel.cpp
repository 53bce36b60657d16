// Intel hex records: ":" LL AAAA TT data CC, with extended linear address
// records (type 04) whenever the upper 16 bits of the address change.
#include "formats/encoders.h"
#include "formats/record_cutter.h"

namespace coffhex {

namespace {

constexpr uint8_t TYPE_DATA = 0x00;
constexpr uint8_t TYPE_END_OF_FILE = 0x01;
constexpr uint8_t TYPE_EXTENDED_LINEAR = 0x04;

struct IntelRecords {
    // The line of a record holds 73 characters or more once it has 32 data
    // bytes after its 9-character header: 32 data bytes a record for lanes
    // of 1, 2, 4 or 8 bytes. Long pieces go in parts of 128 bytes (the count
    // field holds 255), and no record crosses a 64 KB boundary.
    static constexpr RecordLimits LIMITS = {(73 - 9 + 1) / 2, 128, 16};

    [[gnu::always_inline]] static size_t encode(char* out, uint32_t address,
                                                const RecordBytes& bytes) {
        return encode_intel_record(out, TYPE_DATA, static_cast<uint16_t>(address), bytes);
    }
    static size_t length(size_t count) { return intel_record_length(count); }
    // An extended linear address record goes before a data record whose
    // upper 16 bits differ from those of the last address of the file (0 at
    // its start). The record carries the low 16 bits; the file gives its
    // first byte the whole address.
    uint32_t open(uint32_t address, bool new_segment, SectionId, OutputBuffer& out) {
        if (new_segment) {
            const uint8_t upper[2] = {static_cast<uint8_t>(address >> 24),
                                      static_cast<uint8_t>(address >> 16)};
            out.commit(encode_intel_record(out.room(intel_record_length(2)), TYPE_EXTENDED_LINEAR,
                                           0, upper, 2));
        }
        return address;
    }
    void begin_file(OutputBuffer&) {}
    void end_file(OutputBuffer& out) {
        out.commit(encode_intel_record(out.room(intel_record_length(0)), TYPE_END_OF_FILE, 0,
                                       nullptr, 0));
    }
};

}  // namespace

std::unique_ptr<RecordWriter> make_intel_writer(ByteSink& sink, FileChecksum* checksum) {
    return std::make_unique<RecordCutter<IntelRecords>>(IntelRecords{}, sink, checksum);
}

}  // namespace coffhex
