// Generic: two header lines, then lines of an address, a tab and up to
// `olength` ROM words, each word followed by a blank.
#include "formats/format_table.h"

namespace coffhex {

namespace {

// Lines are kept below this many characters of words.
constexpr int GENERIC_ROOM = 100;

// The line carries its address prefix in front of the words; the format
// flag holds the prefix length (0: no prefix yet). A prefix is only written
// together with at least one word, so an address change that is followed
// by another one before any data leaves no empty line behind.
int word_chars(const OutputStream& os) { return os.cursor - os.format_flag; }

void generic_end(OutputStream& os) {
    if (os.pending() && word_chars(os) > 0) {
        line_append_char(os, '\n');
        emit_line(os);
    }
    os.cursor = 0;
    os.format_flag = 0;
}

void generic_address(OutputStream& os, uint32_t address) {
    generic_end(os);
    line_append_lower_hex(os, address, 4);  // "%04lx\t"
    line_append_char(os, '\t');
    os.format_flag = os.cursor;
    os.last_address = address;
}

}  // namespace

void generic_writer(int op, OutputStream& os, const uint8_t* data, int count,
                    const WriterEnv& env) {
    switch (op) {
    case OP_BEGIN_FILE:
        emit_text(os, "ADDRESS\tDATA\n-------\t----\n");
        break;
    case OP_NEW_ADDRESS:
        generic_address(os, env.output_address);
        break;
    case OP_DATA: {
        if (data == nullptr || count <= 0) break;
        const int rom = env.rom_width > 0 ? env.rom_width : 1;
        const int olength = env.olength > 0 ? env.olength : 1;
        const int per_word = 2 * rom + 1;
        const int need = count < rom ? 2 * count + 1 : per_word;
        for (int i = 0; i < count; ++i) {
            if (i % rom == 0) {
                int words = word_chars(os);
                if (os.format_flag == 0 || words / per_word >= olength ||
                    words >= GENERIC_ROOM - need) {
                    generic_address(os, env.output_address + static_cast<uint32_t>(i));
                }
            }
            hex_pairs(line_room(os, 3), data + i, 1);
            os.cursor += 2;
            if (i % rom == rom - 1 || i == count - 1) line_append_char(os, ' ');
        }
        os.last_address = env.output_address;
        break;
    }
    case OP_END_RECORD:
    case OP_END_FILE:
        generic_end(os);
        break;
    default:
        break;
    }
}

// The pieces one by one, with the writer's data path inlined.
void generic_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env) {
    bulk_by_pieces<generic_writer>(os, run, env);
}

}  // namespace coffhex
