// Motorola-S records: "S" type, LL, address, data, CC, in three address
// sizes (S1 16-bit, S2 24-bit, S3 32-bit), chosen once per run from the
// format row.
#include "diag/diag.h"
#include "driver/options.h"
#include "formats/format_table.h"

namespace coffhex {

namespace {

// A record is ended once its line holds this many characters.
constexpr int MOTOROLA_LIMIT = 69;
// Longest part of a lane piece put into a record in one go, so that the
// count field never exceeds 255 bytes whatever the ROM width.
constexpr int MOTOROLA_MAX_PART = 128;

struct Variant {
    char type;               // record type digit of data records
    int address_digits;      // 4, 6 or 8
    int segment_bits;        // address bits the record can carry (0 = all 32)
    const char* terminator;  // end-of-file record
};

const Variant S1 = {'1', 4, 16, "S9030000FC\n"};
const Variant S2 = {'2', 6, 24, "S804000000FB\n"};
const Variant S3 = {'3', 8, 0, "S70500000000FA\n"};

// Fixed at the first call of the writer in the run.
const Variant* g_variant = nullptr;
// The section entry for which the truncation warning was last given.
const void* g_warned_section = nullptr;

const Variant& variant(const WriterEnv& env) {
    if (g_variant == nullptr) {
        g_variant = env.format == FMT_MOTOROLA_S1   ? &S1
                    : env.format == FMT_MOTOROLA_S2 ? &S2
                                                          : &S3;
    }
    return *g_variant;
}

// Record starts and ends are kept out of line so that the data path of
// the writer, taken once per lane piece, stays short.
[[gnu::noinline]] void motorola_end(OutputStream& os) {
    if (!os.pending()) return;
    uint32_t count = static_cast<uint32_t>(os.cursor - 2) / 2;
    line_put_hex(os, 2, count, 2);
    // One's complement of the byte sum: count, address and data.
    uint32_t sum = os.record_sum + count;
    line_append_hex(os, ~sum & 0xFF, 2);
    line_append_char(os, '\n');
    emit_line(os);
    os.record_sum = 0;
}

// Ends the pending record and starts one at `address`. An address too wide
// for the variant's address field is cut to the field, with a warning once
// per section.
[[gnu::noinline]] void motorola_start(OutputStream& os, uint32_t address, const Variant& v,
                                      const WriterEnv& env) {
    motorola_end(os);
    os.last_address = address;
    if (v.segment_bits != 0 && (address >> v.segment_bits) != 0) {
        if (env.section != nullptr && env.section != g_warned_section) {
            g_warned_section = env.section;
            if (v.segment_bits == 16) {
                report(WARNING, "address 0x%08lx exceeds 4 digits - truncated (use -m or -m2)",
                       static_cast<unsigned long>(address));
            } else {
                report(WARNING, "address 0x%08lx exceeds 6 digits - truncated (use -m or -m3)",
                       static_cast<unsigned long>(address));
            }
        }
        address &= (uint32_t{1} << v.segment_bits) - 1;
    }
    char head[4] = {'S', v.type, '0', '0'};
    line_append(os, head, 4);
    line_append_hex(os, address, v.address_digits);
    os.record_sum = (address >> 24) + ((address >> 16) & 0xFF) + ((address >> 8) & 0xFF) +
                    (address & 0xFF);
}

[[gnu::noinline]] void motorola_data(OutputStream& os, const uint8_t* data, int count,
                                     uint32_t address, const Variant& v, const WriterEnv& env) {
    int done = 0;
    while (done < count) {
        int part = piece_part(address, count - done, MOTOROLA_MAX_PART, v.segment_bits);
        if (os.cursor >= MOTOROLA_LIMIT) motorola_end(os);
        // A record never runs on past the end of the address field's range:
        // the next part starts a record of its own (and draws the warning).
        bool new_segment = v.segment_bits != 0 &&
                           (address >> v.segment_bits) != (os.last_address >> v.segment_bits);
        if (!os.pending() || new_segment) motorola_start(os, address, v, env);
        os.record_sum += line_append_bytes_sum<false>(os, data + done, part);
        os.last_address = address;
        done += part;
        address += static_cast<uint32_t>(part);
    }
}

}  // namespace

void motorola_writer(int op, OutputStream& os, const uint8_t* data, int count,
                     const WriterEnv& env) {
    const Variant& v = variant(env);
    switch (op) {
    case OP_BEGIN_FILE:
        emit_text(os, "S00600004844521B\n");
        break;
    case OP_NEW_ADDRESS:
        motorola_start(os, env.output_address, v, env);
        break;
    case OP_DATA:
        if (data == nullptr || count <= 0) break;
        // The usual case: the piece continues a pending record that has
        // room, within the range of the address field.
        if (os.pending() && os.cursor < MOTOROLA_LIMIT && count <= MOTOROLA_MAX_PART &&
            (v.segment_bits == 0 ||
             piece_part(env.output_address, count, count, v.segment_bits) == count) &&
            (v.segment_bits == 0 ||
             (env.output_address >> v.segment_bits) == (os.last_address >> v.segment_bits))) {
            os.record_sum += line_append_bytes_sum<false>(os, data, count);
            os.last_address = env.output_address;
            break;
        }
        motorola_data(os, data, count, env.output_address, v, env);
        break;
    case OP_END_RECORD:
        motorola_end(os);
        break;
    case OP_END_FILE:
        motorola_end(os);
        emit_text(os, v.terminator);
        break;
    default:
        break;
    }
}

void reset_motorola_writer() {
    g_variant = nullptr;
    g_warned_section = nullptr;
}

}  // namespace coffhex
