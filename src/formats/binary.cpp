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

}  // namespace coffhex
