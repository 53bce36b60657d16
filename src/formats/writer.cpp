// Placeholder until the writers are built.
#include "formats/writer.h"

namespace coffhex {
const char HEX_DIGITS[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
void OutputStream::prepare(int32_t) {}
int hex_pairs(char*, const uint8_t*, int count) { return 2 * count; }
void line_append(OutputStream&, const char*, size_t) {}
void line_append(OutputStream&, const char*) {}
void line_append_hex(OutputStream&, uint32_t, int) {}
void line_append_bytes(OutputStream&, const uint8_t*, int) {}
void emit_line(OutputStream&) {}
void emit_text(OutputStream&, const char*, size_t) {}
void emit_text(OutputStream&, const char*) {}
void emit_format(OutputStream&, const char*, ...) {}
void reset_writers() {}
}  // namespace coffhex
