// Intel hex records: ":" LL AAAA TT data CC, with extended linear address
// records (type 04) whenever the upper 16 bits of the address change.
#include "formats/format_table.h"

namespace coffhex {

namespace {

// A record is ended once its line holds this many characters: with the
// 9-character header that is 32 data bytes for lanes of 1, 2, 4 or 8 bytes.
constexpr int INTEL_LIMIT = 73;
// Longest part of a lane piece put into a record in one go, so that the
// count field never exceeds 255 bytes whatever the ROM width.
constexpr int INTEL_MAX_PART = 128;

// Record starts and ends are kept out of line so that the data path of
// the writer, taken once per lane piece, stays short.
[[gnu::noinline]] void intel_end(OutputStream& os) {
    if (!os.pending()) return;
    uint32_t count = static_cast<uint32_t>(os.cursor - 9) / 2;
    line_put_hex(os, 1, count, 2);
    // Two's complement of the byte sum: count, address, type and data.
    uint32_t sum = os.record_sum + count;
    line_append_hex(os, (0x100 - (sum & 0xFF)) & 0xFF, 2);
    line_append_char(os, '\n');
    emit_line(os);
    os.record_sum = 0;
}

// Ends the pending record and starts a data record at `address`, preceded
// by an extended linear address record when the upper 16 bits differ from
// those of the last address of the stream.
[[gnu::noinline]] void intel_start(OutputStream& os, uint32_t address) {
    intel_end(os);
    if ((address >> 16) != (os.last_address >> 16)) {
        uint32_t upper = address >> 16;
        line_append(os, ":02000004", 9);
        line_append_hex(os, upper, 4);
        os.record_sum = 0x04 + (upper >> 8) + (upper & 0xFF);
        intel_end(os);
    }
    line_append(os, ":00", 3);
    line_append_hex(os, address & 0xFFFF, 4);
    line_append(os, "00", 2);
    os.record_sum = ((address >> 8) & 0xFF) + (address & 0xFF);
    os.last_address = address;
}

[[gnu::noinline]] void intel_data(OutputStream& os, const uint8_t* data, int count,
                                  uint32_t address) {
    int done = 0;
    while (done < count) {
        int part = piece_part(address, count - done, INTEL_MAX_PART, 16);
        if (os.cursor >= INTEL_LIMIT) intel_end(os);
        if (!os.pending() || (address >> 16) != (os.last_address >> 16)) intel_start(os, address);
        os.record_sum += line_append_bytes_sum<false>(os, data + done, part);
        os.last_address = address;
        done += part;
        address += static_cast<uint32_t>(part);
    }
}

}  // namespace

void intel_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env) {
    switch (op) {
    case OP_BEGIN_FILE:
        break;
    case OP_NEW_ADDRESS:
        intel_start(os, env.output_address);
        break;
    case OP_DATA:
        if (data == nullptr || count <= 0) break;
        // The usual case: the piece continues a pending record that has
        // room, in the same 64 KB segment.
        if (os.pending() && os.cursor < INTEL_LIMIT && count <= INTEL_MAX_PART &&
            (env.output_address >> 16) == (os.last_address >> 16) &&
            (env.output_address & 0xFFFF) + static_cast<uint32_t>(count) <= 0x10000) {
            os.record_sum += line_append_bytes_sum<false>(os, data, count);
            os.last_address = env.output_address;
            break;
        }
        intel_data(os, data, count, env.output_address);
        break;
    case OP_END_RECORD:
        intel_end(os);
        break;
    case OP_END_FILE:
        intel_end(os);
        emit_text(os, ":00000001FF\n");
        break;
    default:
        break;
    }
}

}  // namespace coffhex
