// QV-Tagged records: a run of tagged fields (K header, 9 load address,
// B data word, * data byte) closed by a 7 checksum field and an F tag, and
// padded to an 80-column card that ends with the program name.
#include "formats/format_table.h"

namespace coffhex {

namespace {

// A record is ended before any field is added once its line holds this many
// characters: the first record of a file then holds the header, one load
// address and 9 data words, a continuing record 13 data words.
constexpr int TAGGED_LIMIT = 62;
// Column after which the program name closes every card.
constexpr int TAGGED_PAD = 72;
constexpr char PROGRAM_NAME[] = "COFFTOQV";

void tagged_end(OutputStream& os) {
    if (!os.pending()) return;
    line_append_char(os, '7');
    // Two's complement, in 16 bits, of the sum of the character codes of
    // the line up to and including the "7".
    uint32_t sum = 0;
    for (int i = 0; i < os.cursor; ++i)
        sum += static_cast<unsigned char>(os.line[static_cast<size_t>(i)]);
    line_append_hex(os, (0x10000 - (sum & 0xFFFF)) & 0xFFFF, 4);
    line_append_char(os, 'F');
    while (os.cursor < TAGGED_PAD) line_append_char(os, ' ');
    line_append(os, PROGRAM_NAME, 8);
    line_append_char(os, '\n');
    emit_line(os);
}

// Every operation but the end of a record first ends a full record.
void tagged_check(OutputStream& os) {
    if (os.cursor >= TAGGED_LIMIT) tagged_end(os);
}

void tagged_address(OutputStream& os, uint32_t address) {
    tagged_check(os);
    line_append_char(os, '9');
    line_append_hex(os, address & 0xFFFF, 4);
    os.format_flag = 1;
    os.last_address = address;
}

void tagged_data(OutputStream& os, const uint8_t* data, int count, uint32_t address) {
    tagged_check(os);
    if (os.format_flag == 0) tagged_address(os, address);
    for (int i = 0; i < count; i += 2) {
        if (os.cursor >= TAGGED_LIMIT) tagged_end(os);
        if (i + 1 < count) {
            char* out = line_room(os, 5);
            out[0] = 'B';
            hex_pairs(out + 1, data + i, 2);
            os.cursor += 5;
        } else {
            char* out = line_room(os, 3);
            out[0] = '*';
            hex_pairs(out + 1, data + i, 1);
            os.cursor += 3;
        }
    }
    os.last_address = address;
}

}  // namespace

void tagged_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env) {
    switch (op) {
    case OP_BEGIN_FILE:
        tagged_check(os);
        tagged_end(os);
        line_append(os, "K0000", 5);
        line_append(os, PROGRAM_NAME, 8);
        os.format_flag = 0;
        break;
    case OP_NEW_ADDRESS:
        tagged_address(os, env.output_address);
        break;
    case OP_DATA:
        if (data != nullptr && count > 0) tagged_data(os, data, count, env.output_address);
        break;
    case OP_END_RECORD:
        tagged_end(os);
        break;
    case OP_END_FILE:
        tagged_end(os);
        emit_text(os, ":\n");
        break;
    default:
        break;
    }
}

// The pieces one by one, with the writer's data path inlined.
void tagged_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env) {
    bulk_by_pieces<tagged_writer>(os, run, env);
}

}  // namespace coffhex
