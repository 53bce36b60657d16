// The writer protocol shared by every output format: the state of one open
// output file, the operation codes, and the helpers for hex digits and
// record lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

// Room in a record line besides the data of one lane piece: the widest
// record text any writer builds around or ahead of the piece (line limit,
// address prefix, checksum and trailer) fits in it.
inline constexpr size_t LINE_ROOM = 160;

// The state of one open output file.
struct OutputStream {
    FILE* stream = nullptr;
    std::string name;              // file name, for messages
    std::vector<char> line;        // the record being built
    int cursor = 0;                // length of the pending record; 0 = none
    uint32_t last_address = 0;     // writers store their last output address
    int32_t format_flag = 0;       // free for the writer; 0 when opened
    uint32_t record_sum = 0;       // running checksum of the pending record
    bool write_failed = false;     // a write to the stream failed
    int write_errno = 0;           // errno of the first failed write

    // Called when the file is opened: sizes the line for lane pieces of up
    // to `rom_width` bytes (LINE_ROOM + 2 * rom_width characters) and clears
    // the record state (cursor, last address, format flag, checksum) and the
    // write-failure state left by the previous file of this entry.
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

// A run of lane pieces for one stream: piece i is the `piece` bytes at
// data + i * stride, and belongs at output address env.output_address +
// i * step. A single-lane range hands over whole buffers (stride = piece);
// a multi-lane range hands each lane its pieces of every memory word
// (stride = memory width).
struct LaneRun {
    const uint8_t* data = nullptr;
    size_t pieces = 0;
    int piece = 1;       // bytes per piece
    size_t stride = 1;   // bytes from the start of one piece to the next
    uint32_t step = 1;   // output address advance per piece
};

// The bulk data entry point of a writer: writes exactly what `run.pieces`
// operation 3 calls would write, piece after piece with the output address
// advancing by `run.step`, and leaves the stream ready for the next call
// the same way. A record that is full when the run ends may already have
// been written: every later operation would end it first.
using HexBulkWriter = void (*)(OutputStream& os, const LaneRun& run, const WriterEnv& env);

// The bulk entry point of a writer with no faster path of its own: the
// pieces one by one, through a direct call.
template <HexWriter writer>
void bulk_by_pieces(OutputStream& os, const LaneRun& run, const WriterEnv& env) {
    if (run.data == nullptr) return;  // as operation 3 without data
    WriterEnv piece_env = env;
    const uint8_t* data = run.data;
    for (size_t i = 0; i < run.pieces; ++i, data += run.stride) {
        writer(OP_DATA, os, data, run.piece, piece_env);
        piece_env.output_address += run.step;
    }
}

// Upper-case hex digits by nibble value.
extern const char HEX_DIGITS[16];

// Two digits per byte value, so a data byte costs one table load and one
// two-character copy.
struct HexPairTable {
    char pairs[256][2];
};
constexpr HexPairTable make_hex_pairs() {
    constexpr char digits[] = "0123456789ABCDEF";
    HexPairTable table{};
    for (int i = 0; i < 256; ++i) {
        table.pairs[i][0] = digits[i >> 4];
        table.pairs[i][1] = digits[i & 15];
    }
    return table;
}
inline constexpr HexPairTable HEX_PAIRS = make_hex_pairs();

// Two upper-case hex digits per byte, high nibble first; no terminator.
// Returns the characters written (2 * count).
inline int hex_pairs(char* out, const uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i) std::memcpy(out + 2 * i, HEX_PAIRS.pairs[bytes[i]], 2);
    return count > 0 ? 2 * count : 0;
}

// Two hex digits per byte of `count` bytes, and the sum of the bytes
// (`nibbles` false) or of their nibble values (`nibbles` true).
template <bool nibbles>
inline uint32_t hex_pairs_sum(char* out, const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        std::memcpy(out + 2 * i, HEX_PAIRS.pairs[b], 2);
        sum += nibbles ? static_cast<uint32_t>((b >> 4) + (b & 15)) : b;
    }
    return sum;
}

// The same for `pieces` pieces of `piece` bytes, `stride` bytes apart.
template <bool nibbles>
inline uint32_t hex_pieces_sum(char* out, const uint8_t* data, size_t pieces, int piece,
                               size_t stride) {
    const size_t width = static_cast<size_t>(piece);
    if (stride == width) return hex_pairs_sum<nibbles>(out, data, pieces * width);
    uint32_t sum = 0;
    if (width == 1) {
        for (size_t i = 0; i < pieces; ++i, data += stride) {
            const uint8_t b = *data;
            std::memcpy(out + 2 * i, HEX_PAIRS.pairs[b], 2);
            sum += nibbles ? static_cast<uint32_t>((b >> 4) + (b & 15)) : b;
        }
        return sum;
    }
    for (size_t i = 0; i < pieces; ++i, data += stride, out += 2 * width)
        sum += hex_pairs_sum<nibbles>(out, data, width);
    return sum;
}

// `digits` upper-case hex digits of value (its low 4 * digits bits).
inline void put_hex(char* out, uint32_t value, int digits) {
    constexpr char upper[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = upper[value & 15];
        value >>= 4;
    }
}

// Makes room for `length` more characters in the line. The line sized by
// `prepare` always has the room; this only grows a line that was not
// prepared for the piece it is given.
void grow_line(OutputStream& os, size_t length);
inline char* line_room(OutputStream& os, size_t length) {
    if (static_cast<size_t>(os.cursor) + length > os.line.size()) grow_line(os, length);
    return os.line.data() + os.cursor;
}

// Appends text to the pending line.
void line_append(OutputStream& os, const char* text, size_t length);
void line_append(OutputStream& os, const char* text);
inline void line_append_char(OutputStream& os, char c) {
    *line_room(os, 1) = c;
    ++os.cursor;
}
// Appends `digits` upper-case hex digits of value (its low 4 * digits bits).
void line_append_hex(OutputStream& os, uint32_t value, int digits);
// Appends value in lower-case hex with at least `min_digits` digits (more
// when the value needs them), as "%0<min_digits>lx" prints it.
void line_append_lower_hex(OutputStream& os, uint32_t value, int min_digits);
// Writes `digits` upper-case hex digits of value over the line at `position`.
void line_put_hex(OutputStream& os, int position, uint32_t value, int digits);
// Appends two hex digits per byte.
inline void line_append_bytes(OutputStream& os, const uint8_t* bytes, int count) {
    if (count <= 0) return;
    os.cursor += hex_pairs(line_room(os, 2 * static_cast<size_t>(count)), bytes, count);
}
// Appends two hex digits per byte and returns the sum of the bytes
// (`nibbles` false) or of their nibble values (`nibbles` true).
template <bool nibbles>
inline uint32_t line_append_bytes_sum(OutputStream& os, const uint8_t* bytes, int count) {
    if (count <= 0) return 0;
    char* out = line_room(os, 2 * static_cast<size_t>(count));
    const uint32_t sum = hex_pairs_sum<nibbles>(out, bytes, static_cast<size_t>(count));
    os.cursor += 2 * count;
    return sum;
}
// The same for the pieces of a lane run.
template <bool nibbles>
inline uint32_t line_append_pieces_sum(OutputStream& os, const uint8_t* data, size_t pieces,
                                       int piece, size_t stride) {
    const size_t length = 2 * pieces * static_cast<size_t>(piece);
    const uint32_t sum = hex_pieces_sum<nibbles>(line_room(os, length), data, pieces, piece, stride);
    os.cursor += static_cast<int>(length);
    return sum;
}
// Appends formatted text (rare address and header records only).
void line_append_format(OutputStream& os, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Writes the pending line as it stands (the writer adds its own line end)
// and returns the cursor to the start.
void emit_line(OutputStream& os);
// Writes text straight to the stream.
void emit_text(OutputStream& os, const char* text, size_t length);
void emit_text(OutputStream& os, const char* text);
void emit_format(OutputStream& os, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Whole records gathered for one write to a stream: the bulk paths format
// records straight into one block and write it when it is full and when
// the block goes out of scope. Only one block is in use at a time (the
// storage is shared); anything else written to the stream while a block is
// in use must come after flush().
class RecordBlock {
public:
    static constexpr size_t SIZE = 64 * 1024;
    explicit RecordBlock(OutputStream& os);
    ~RecordBlock() { flush(); }
    RecordBlock(const RecordBlock&) = delete;
    RecordBlock& operator=(const RecordBlock&) = delete;

    // Room for `length` (at most SIZE) more characters.
    char* room(size_t length) {
        if (used_ + length > SIZE) flush();
        return data_ + used_;
    }
    void commit(size_t length) { used_ += length; }
    // Moves the pending line of the stream (a completed record) into the
    // block and returns the stream's cursor to the start of the line.
    void take_line() {
        const size_t length = static_cast<size_t>(os_.cursor);
        std::memcpy(room(length), os_.line.data(), length);
        commit(length);
        os_.cursor = 0;
    }
    void flush();

private:
    OutputStream& os_;
    char* data_;
    size_t used_ = 0;
};

// Length of the next part of a lane piece of `remaining` bytes whose first
// byte belongs at `address`: at most `max_part` bytes, and none crossing a
// multiple of 2^segment_bits (0 = no boundary). Keeps records within the
// count field of their format and inside their address segment.
inline int piece_part(uint32_t address, int remaining, int max_part, int segment_bits) {
    int part = remaining < max_part ? remaining : max_part;
    if (segment_bits > 0 && segment_bits < 32) {
        uint32_t mask = (uint32_t{1} << segment_bits) - 1;
        uint64_t to_boundary = uint64_t{mask} + 1 - (address & mask);
        if (to_boundary < static_cast<uint64_t>(part)) part = static_cast<int>(to_boundary);
    }
    return part;
}

// Clears the Motorola writer's per-run state (variant, last warned section).
void reset_motorola_writer();

// Clears the writers' per-run state (Motorola variant, last warned section).
void reset_writers();

}  // namespace coffhex
