// DEBUG: a readable dump, one line per run of lane pieces, framed by a file
// header and footer.
#include "formats/format_table.h"

namespace coffhex {

namespace {

// A line is ended before a piece once it holds this many characters.
constexpr int DEBUG_LIMIT = 68;

void debug_end(OutputStream& os) {
    if (!os.pending()) return;
    line_append(os, ":END:\n", 6);
    emit_line(os);
}

void debug_start(OutputStream& os, uint32_t address) {
    debug_end(os);
    // "ADDR:%08lx: DATA:"
    line_append(os, "ADDR:", 5);
    line_append_lower_hex(os, address, 8);
    line_append(os, ": DATA:", 7);
    os.last_address = address;
}

}  // namespace

void debug_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env) {
    switch (op) {
    case OP_BEGIN_FILE:
        emit_text(os, "*** FILE HEADER ***\n");
        break;
    case OP_NEW_ADDRESS:
        debug_start(os, env.output_address);
        break;
    case OP_DATA:
        if (data == nullptr || count <= 0) break;
        if (os.cursor >= DEBUG_LIMIT) debug_end(os);
        if (!os.pending()) debug_start(os, env.output_address);
        line_append_bytes(os, data, count);
        line_append_char(os, ' ');
        os.last_address = env.output_address;
        break;
    case OP_END_RECORD:
        debug_end(os);
        break;
    case OP_END_FILE:
        debug_end(os);
        emit_text(os, "*** FILE FOOTER ***\n");
        break;
    default:
        break;
    }
}

void debug_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env) {
    if (run.data == nullptr || run.piece <= 0 || run.pieces == 0) return;
    RecordBlock block(os);
    const uint8_t* piece = run.data;
    uint32_t address = env.output_address;
    for (size_t i = 0; i < run.pieces; ++i, piece += run.stride, address += run.step) {
        if (os.cursor >= DEBUG_LIMIT) {
            line_append(os, ":END:\n", 6);
            block.take_line();
        }
        if (!os.pending()) {
            line_append(os, "ADDR:", 5);
            line_append_lower_hex(os, address, 8);
            line_append(os, ": DATA:", 7);
        }
        line_append_bytes(os, piece, run.piece);
        line_append_char(os, ' ');
    }
    os.last_address = address - run.step;
}

}  // namespace coffhex
