// The writer protocol shared by every output format: the state of one open
// output file, the operation codes, and the helpers for hex digits and
// record lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace coffhex {

enum WriterOp : int {
    OP_BEGIN_FILE = 1,   // write any file header
    OP_NEW_ADDRESS = 2,  // the output address has jumped
    OP_DATA = 3,         // the bytes of one lane piece
    OP_END_RECORD = 4,   // complete and write the pending record
    OP_END_FILE = 5,     // write any file trailer
};

// The state of one open output file.
struct OutputStream {
    FILE* stream = nullptr;
    std::string name;              // file name, for messages
    std::vector<char> line;        // the record being built
    int cursor = 0;                // length of the pending record; 0 = none
    uint32_t last_address = 0;     // writers store their last output address
    int32_t format_flag = 0;       // free for the writer; 0 when opened
    bool write_failed = false;     // a write to the stream failed
    int write_errno = 0;           // errno of the first failed write

    // Sizes the line for lane pieces of up to `rom_width` bytes and clears
    // the record state (cursor, last address, format flag).
    void prepare(int32_t rom_width);
    bool pending() const { return cursor != 0; }
};

// What a writer reads besides its stream: the address to print and the
// settings that shape its records.
struct WriterEnv {
    uint32_t output_address = 0;    // current range's output address
    int32_t rom_width = 1;          // current range's ROM width in bytes
    int format = 7;                 // format index (Motorola address size)
    int32_t olength = 20;           // Generic: ROM words per line
    uint32_t entry_address = 0;     // Extended Tektronix termination record
    const void* section = nullptr;  // current section entry (S1 warning once per section)
    const char* section_name = "";
};

using HexWriter = void (*)(int op, OutputStream& os, const uint8_t* data, int count,
                           const WriterEnv& env);

// Upper-case hex digits by nibble value.
extern const char HEX_DIGITS[16];

// Two upper-case hex digits per byte, high nibble first; no terminator.
// Returns the characters written (2 * count).
int hex_pairs(char* out, const uint8_t* bytes, int count);

// Appends text to the pending line.
void line_append(OutputStream& os, const char* text, size_t length);
void line_append(OutputStream& os, const char* text);
// Appends `digits` upper-case hex digits of value.
void line_append_hex(OutputStream& os, uint32_t value, int digits);
// Appends two hex digits per byte.
void line_append_bytes(OutputStream& os, const uint8_t* bytes, int count);

// Writes the pending line as it stands (the writer adds its own line end)
// and returns the cursor to the start.
void emit_line(OutputStream& os);
// Writes text straight to the stream.
void emit_text(OutputStream& os, const char* text, size_t length);
void emit_text(OutputStream& os, const char* text);
void emit_format(OutputStream& os, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Clears the writers' per-run state (Motorola variant, last warned section).
void reset_writers();

}  // namespace coffhex
