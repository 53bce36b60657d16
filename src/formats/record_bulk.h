// The bulk data path shared by the record formats (Intel, Motorola-S,
// Extended Tektronix): whole data records formatted straight into a block
// of output, the pending record continued a run of pieces at a time, and
// the writer's own operation 3 for every piece that needs more than that
// (a record start with an address record, a segment boundary, a piece
// wider than a record takes in one go).
//
// A `Format` gives:
//   int limit;        a record is ended before a piece once its line holds
//                     this many characters
//   int header;       characters of a data record ahead of its data
//   bool whole(os, address, pieces, run)
//                     a data record started at `address` with nothing
//                     pending takes `pieces` pieces the way operation 3
//                     would: no address record ahead of it, no boundary
//                     inside it, no warning
//   size_t take(os, address, left, run)
//                     how many of the next `left` pieces (0: none) the
//                     pending record takes through operation 3's short path
//   size_t record(out, address, data, pieces, run)
//                     formats that whole record, line end included, into
//                     `out` and returns its length
//   uint32_t append(os, data, pieces, run)
//                     appends the pieces to the pending line and returns
//                     what they add to its running checksum
//   void close(os)    completes the pending record's line (count,
//                     checksum, line end) without writing it
//   void piece(os, data, count, env)
//                     operation 3 for one piece
#pragma once

#include "formats/writer.h"

namespace coffhex {

// Widest piece that whole records are formatted for; wider pieces go
// through the pending line.
inline constexpr int WHOLE_RECORD_MAX_PIECE = 32;

template <class Format>
void record_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env, const Format& format) {
    if (run.data == nullptr || run.piece <= 0 || run.pieces == 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    // Pieces a fresh data record takes: the first one, then one more while
    // the line holds fewer than `limit` characters.
    const size_t room = static_cast<size_t>(format.limit - format.header);
    const size_t per_record = (room + 2 * width - 1) / (2 * width);
    const size_t record_text = static_cast<size_t>(format.header) + 2 * per_record * width + 16;
    const bool whole_records = run.piece <= WHOLE_RECORD_MAX_PIECE;

    RecordBlock block(os);
    WriterEnv piece_env = env;
    const uint8_t* data = run.data;
    uint32_t address = env.output_address;
    size_t left = run.pieces;
    // The output address advances modulo 2^32, as the splitter's does.
    auto advance = [&](size_t pieces) {
        data += pieces * run.stride;
        address += static_cast<uint32_t>(pieces * run.step);
        left -= pieces;
    };
    auto last_of = [&](size_t pieces) {
        return address + static_cast<uint32_t>((pieces - 1) * run.step);
    };

    while (left > 0) {
        if (!os.pending() && whole_records) {
            while (left >= per_record && format.whole(os, address, per_record, run)) {
                block.commit(format.record(block.room(record_text), address, data, per_record, run));
                os.last_address = last_of(per_record);
                advance(per_record);
            }
            if (left == 0) break;
        } else if (const size_t taken = os.pending() ? format.take(os, address, left, run) : 0;
                   taken > 0) {
            os.record_sum += format.append(os, data, taken, run);
            os.last_address = last_of(taken);
            advance(taken);
            // Full: the next operation would end it first, so it goes now.
            if (os.cursor >= format.limit) {
                format.close(os);
                block.take_line();
                os.record_sum = 0;
            }
            continue;
        }
        block.flush();
        piece_env.output_address = address;
        format.piece(os, data, run.piece, piece_env);
        advance(1);
    }
}

// Pieces from one at `address` on, `step` apart, that stay inside the
// segment of 2^bits addresses that holds `address` without crossing its
// end: at least 1 when the first piece fits.
inline size_t pieces_in_segment(uint32_t address, size_t width, uint32_t step, int bits) {
    const uint64_t size = uint64_t{1} << bits;
    const uint64_t offset = address & (size - 1);
    if (offset + width > size) return 0;
    if (step == 0) return SIZE_MAX;
    return static_cast<size_t>((size - width - offset) / step + 1);
}

// Pieces of `width` bytes the pending line takes while it holds fewer than
// `limit` characters (at least 1 when it does now).
inline size_t pieces_below_limit(int cursor, int limit, size_t width) {
    if (cursor >= limit) return 0;
    return (static_cast<size_t>(limit - cursor) + 2 * width - 1) / (2 * width);
}

}  // namespace coffhex
