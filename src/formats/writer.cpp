// Shared writer helpers: hex digits, the record line, and the writes to the
// output stream with their failure bookkeeping.
#include "formats/writer.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace coffhex {

const char HEX_DIGITS[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

namespace {

void note_write(OutputStream& os, size_t written, size_t wanted) {
    if (written == wanted) return;
    if (!os.write_failed) {
        os.write_failed = true;
        os.write_errno = errno != 0 ? errno : EIO;
    }
}

}  // namespace

void OutputStream::prepare(int32_t rom_width) {
    size_t lane = rom_width > 0 ? static_cast<size_t>(rom_width) : 1;
    line.assign(LINE_ROOM + 2 * lane, '\0');
    cursor = 0;
    last_address = 0;
    format_flag = 0;
    record_sum = 0;
    write_failed = false;
    write_errno = 0;
}

void grow_line(OutputStream& os, size_t length) {
    size_t need = static_cast<size_t>(os.cursor) + length;
    size_t size = os.line.size() < LINE_ROOM ? LINE_ROOM : os.line.size();
    while (size < need) size *= 2;
    os.line.resize(size, '\0');
}

void line_append(OutputStream& os, const char* text, size_t length) {
    std::memcpy(line_room(os, length), text, length);
    os.cursor += static_cast<int>(length);
}

void line_append(OutputStream& os, const char* text) { line_append(os, text, std::strlen(text)); }

void line_append_hex(OutputStream& os, uint32_t value, int digits) {
    char* out = line_room(os, static_cast<size_t>(digits));
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = HEX_DIGITS[value & 15];
        value >>= 4;
    }
    os.cursor += digits;
}

void line_append_lower_hex(OutputStream& os, uint32_t value, int min_digits) {
    static const char lower[] = "0123456789abcdef";
    int digits = 1;
    while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
    if (digits < min_digits) digits = min_digits;
    char* out = line_room(os, static_cast<size_t>(digits));
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = lower[value & 15];
        value >>= 4;
    }
    os.cursor += digits;
}

void line_put_hex(OutputStream& os, int position, uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        os.line[static_cast<size_t>(position + i)] = HEX_DIGITS[value & 15];
        value >>= 4;
    }
}

void line_append_format(OutputStream& os, const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length <= 0) return;
    if (static_cast<size_t>(length) >= sizeof text) length = sizeof text - 1;
    line_append(os, text, static_cast<size_t>(length));
}

void emit_line(OutputStream& os) {
    size_t length = static_cast<size_t>(os.cursor);
    os.cursor = 0;
    emit_text(os, os.line.data(), length);
}

void emit_text(OutputStream& os, const char* text, size_t length) {
    if (length == 0) return;
    if (os.stream == nullptr) {
        if (!os.write_failed) {
            os.write_failed = true;
            os.write_errno = EBADF;
        }
        return;
    }
    errno = 0;
    note_write(os, std::fwrite(text, 1, length, os.stream), length);
}

void emit_text(OutputStream& os, const char* text) { emit_text(os, text, std::strlen(text)); }

void emit_format(OutputStream& os, const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length <= 0) return;
    if (static_cast<size_t>(length) >= sizeof text) length = sizeof text - 1;
    emit_text(os, text, static_cast<size_t>(length));
}

void reset_writers() { reset_motorola_writer(); }

}  // namespace coffhex
