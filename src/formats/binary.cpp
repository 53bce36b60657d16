// Binary: the data bytes themselves, nothing else. Bytes are gathered in
// the line and written in blocks; ending a record writes what is gathered.
#include "formats/format_table.h"

#include <cstring>

namespace coffhex {

void binary_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv&) {
    switch (op) {
    case OP_DATA: {
        if (data == nullptr || count <= 0) break;
        size_t length = static_cast<size_t>(count);
        if (static_cast<size_t>(os.cursor) + length > os.line.size()) {
            emit_line(os);
            if (length > os.line.size()) {
                emit_text(os, reinterpret_cast<const char*>(data), length);
                break;
            }
        }
        std::memcpy(os.line.data() + os.cursor, data, length);
        os.cursor += count;
        break;
    }
    case OP_END_RECORD:
    case OP_END_FILE:
        emit_line(os);
        break;
    default:
        break;
    }
}

void binary_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env) {
    if (run.data == nullptr || run.piece <= 0 || run.pieces == 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    if (run.stride != width && width > RecordBlock::SIZE / 4) {
        bulk_by_pieces<binary_writer>(os, run, env);
        return;
    }
    // What is gathered goes first, then the run's bytes.
    emit_line(os);
    if (run.stride == width) {
        emit_text(os, reinterpret_cast<const char*>(run.data), run.pieces * width);
        return;
    }
    RecordBlock block(os);
    const uint8_t* data = run.data;
    for (size_t i = 0; i < run.pieces; ++i, data += run.stride) {
        std::memcpy(block.room(width), data, width);
        block.commit(width);
    }
}

}  // namespace coffhex
