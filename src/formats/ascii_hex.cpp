// ASCII-Hex: start-of-text, "$A" address lines and data lines of hex byte
// pairs each followed by a blank, end-of-text.
#include "formats/format_table.h"

#include <cstring>

namespace coffhex {

namespace {

// A data line is ended before a byte once it holds this many characters:
// 24 bytes of three characters each.
constexpr int ASCII_HEX_LIMIT = 72;

void ascii_hex_end(OutputStream& os) {
    if (!os.pending()) return;
    line_append_char(os, '\n');
    emit_line(os);
}

}  // namespace

void ascii_hex_writer(int op, OutputStream& os, const uint8_t* data, int count,
                      const WriterEnv& env) {
    switch (op) {
    case OP_BEGIN_FILE:
        emit_text(os, "\x02\n", 2);
        break;
    case OP_NEW_ADDRESS:
        ascii_hex_end(os);
        emit_format(os, "$A%04lx,\n", static_cast<unsigned long>(env.output_address));
        os.last_address = env.output_address;
        break;
    case OP_DATA:
        if (data == nullptr) break;
        for (int i = 0; i < count; ++i) {
            if (os.cursor >= ASCII_HEX_LIMIT) ascii_hex_end(os);
            char* out = line_room(os, 3);
            hex_pairs(out, data + i, 1);
            out[2] = ' ';
            os.cursor += 3;
        }
        os.last_address = env.output_address;
        break;
    case OP_END_RECORD:
        ascii_hex_end(os);
        break;
    case OP_END_FILE:
        ascii_hex_end(os);
        emit_text(os, "\x03", 1);
        break;
    default:
        break;
    }
}

void ascii_hex_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env) {
    if (run.data == nullptr || run.piece <= 0 || run.pieces == 0) return;
    RecordBlock block(os);
    const uint8_t* piece = run.data;
    for (size_t i = 0; i < run.pieces; ++i, piece += run.stride) {
        for (int j = 0; j < run.piece; ++j) {
            if (os.cursor >= ASCII_HEX_LIMIT) {
                line_append_char(os, '\n');
                block.take_line();
            }
            char* out = line_room(os, 3);
            std::memcpy(out, HEX_PAIRS.pairs[piece[j]], 2);
            out[2] = ' ';
            os.cursor += 3;
        }
    }
    os.last_address = env.output_address + static_cast<uint32_t>((run.pieces - 1) * run.step);
}

}  // namespace coffhex
