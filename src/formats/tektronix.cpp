// Extended Tektronix records: "%" LL T CC N address data, where LL counts
// the characters after the "%" and CC is the sum of the values of all hex
// digits after the "%" (the CC digits counting 0).
#include "formats/format_table.h"

namespace coffhex {

namespace {

// A record is ended once its line holds this many characters: with the
// 15-character header that is 32 data bytes for lanes of 1, 2, 4 or 8 bytes.
constexpr int TEKTRONIX_LIMIT = 79;
// Longest part of a lane piece put into a record in one go, so that the
// two-digit length field (at most 255 characters) never overflows whatever
// the ROM width.
constexpr int TEKTRONIX_MAX_PART = 64;

uint32_t nibble_sum(uint32_t value) {
    uint32_t sum = 0;
    for (; value != 0; value >>= 4) sum += value & 15;
    return sum;
}

// Record starts and ends are kept out of line so that the data path of
// the writer, taken once per lane piece, stays short.
[[gnu::noinline]] void tektronix_end(OutputStream& os) {
    if (!os.pending()) return;
    uint32_t length = static_cast<uint32_t>(os.cursor - 1);
    line_put_hex(os, 1, length, 2);
    uint32_t sum = os.record_sum + (length >> 4) + (length & 15);
    line_put_hex(os, 4, sum & 0xFF, 2);
    line_append_char(os, '\n');
    emit_line(os);
    os.record_sum = 0;
}

// Starts a record of `type` (6 data, 8 termination) with an eight-digit
// address; the record sum holds the digit values written so far.
[[gnu::noinline]] void tektronix_start(OutputStream& os, char type, uint32_t address) {
    tektronix_end(os);
    char head[7] = {'%', '0', '0', type, '0', '0', '8'};
    line_append(os, head, 7);
    line_append_hex(os, address, 8);
    os.record_sum = static_cast<uint32_t>(type - '0') + 8 + nibble_sum(address);
}

[[gnu::noinline]] void tektronix_data(OutputStream& os, const uint8_t* data, int count,
                                      uint32_t address) {
    int done = 0;
    while (done < count) {
        int part = piece_part(address, count - done, TEKTRONIX_MAX_PART, 0);
        if (os.cursor >= TEKTRONIX_LIMIT) tektronix_end(os);
        if (!os.pending()) tektronix_start(os, '6', address);
        os.record_sum += line_append_bytes_sum<true>(os, data + done, part);
        os.last_address = address;
        done += part;
        address += static_cast<uint32_t>(part);
    }
}

}  // namespace

void tektronix_writer(int op, OutputStream& os, const uint8_t* data, int count,
                      const WriterEnv& env) {
    switch (op) {
    case OP_BEGIN_FILE:
        break;
    case OP_NEW_ADDRESS:
        tektronix_start(os, '6', env.output_address);
        os.last_address = env.output_address;
        break;
    case OP_DATA:
        if (data == nullptr || count <= 0) break;
        // The usual case: the piece continues a pending record with room.
        if (os.pending() && os.cursor < TEKTRONIX_LIMIT && count <= TEKTRONIX_MAX_PART) {
            os.record_sum += line_append_bytes_sum<true>(os, data, count);
            os.last_address = env.output_address;
            break;
        }
        tektronix_data(os, data, count, env.output_address);
        break;
    case OP_END_RECORD:
        tektronix_end(os);
        break;
    case OP_END_FILE:
        tektronix_start(os, '8', env.entry_address);
        tektronix_end(os);
        break;
    default:
        break;
    }
}

}  // namespace coffhex
