// Pieces shared by the record writers (not part of the writer interface):
// the output buffer every writer writes its text into, the frame of the
// writers that build their own lines, the walk over the pieces of a lane
// run, and the writer factories of the formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "formats/checksum.h"
#include "formats/writer.h"

namespace coffhex {

// The text of one output file on its way to the sink: records are encoded
// straight into the buffer, which goes to the sink whole when the next
// record does not fit and at the end of the file.
class OutputBuffer {
public:
    static constexpr size_t SIZE = 64 * 1024;

    explicit OutputBuffer(ByteSink& sink)
        : sink_(sink), data_(std::make_unique<char[]>(SIZE)), capacity_(SIZE) {}
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Room for `length` more characters; commit() what was used of it. A
    // record longer than the buffer (a lane piece of many kilobytes) makes
    // the buffer grow to hold it.
    char* room(size_t length) {
        if (used_ + length > capacity_) make_room(length);
        return data_.get() + used_;
    }
    void commit(size_t length) { used_ += length; }
    // Characters that fit before the buffer goes to the sink.
    size_t available() const { return capacity_ - used_; }

    // Text or bytes as they stand. Long ones (a quarter of the buffer or
    // more) go to the sink directly, after what is buffered.
    void write(const char* text, size_t length) {
        if (length >= capacity_ / 4) {
            flush();
            sink_.write(text, length);
            return;
        }
        std::memcpy(room(length), text, length);
        used_ += length;
    }
    void write(const char* text) { write(text, std::strlen(text)); }

    // Hands everything buffered to the sink.
    void flush() {
        if (used_ == 0) return;
        sink_.write(data_.get(), used_);
        used_ = 0;
    }

private:
    void make_room(size_t length);

    ByteSink& sink_;
    std::unique_ptr<char[]> data_;
    size_t capacity_;
    size_t used_ = 0;
};

// The frame of the writers that build their lines themselves (DEBUG,
// ASCII-Hex, Generic, QV-Tagged): the output buffer, the accumulator, and
// the end of a record and of the file. `Line` supplies end(), which writes
// the pending line if there is one, and TRAILER, the text after the last
// line of a file.
template <class Line>
class LineWriter : public RecordWriter {
public:
    void end_record() final { line().end(); }
    void end_file() final {
        line().end();
        out_.write(Line::TRAILER);
        out_.flush();
    }

protected:
    LineWriter(ByteSink& sink, FileChecksum* checksum) : out_(sink), checksum_(checksum) {}

    OutputBuffer out_;
    FileChecksum* const checksum_;

private:
    Line& line() { return static_cast<Line&>(*this); }
};

// Bytes to set aside at the start for the pending line of a writer that
// holds up to `fixed` bytes plus one lane piece of `rom_width` bytes; a
// wider piece makes the line grow when it comes.
inline size_t line_bytes(size_t fixed, int32_t rom_width) {
    return fixed + static_cast<size_t>(rom_width < 1 ? 1 : rom_width < 4096 ? rom_width : 4096);
}

// Output address of piece `index` of a run (modulo 2^32).
inline uint32_t piece_address(const LaneRun& run, size_t index) {
    return run.address + static_cast<uint32_t>(index * run.step);
}

// Calls put(piece, width, address) for every piece of a run, in order: the
// data operation of the writers that take a run piece by piece.
template <class Put>
void for_each_piece(const LaneRun& run, Put&& put) {
    if (run.data == nullptr || run.piece <= 0) return;
    for (size_t i = 0; i < run.pieces; ++i)
        put(run.data + i * run.stride, static_cast<size_t>(run.piece), piece_address(run, i));
}

// Copies `pieces` pieces of `width` bytes, `stride` bytes apart, one after
// the other into `out`.
inline void gather_pieces(uint8_t* out, const uint8_t* data, size_t pieces, size_t width,
                          size_t stride) {
    if (stride == width) {
        std::memcpy(out, data, pieces * width);
    } else if (width == 1) {
        for (size_t i = 0; i < pieces; ++i) out[i] = data[i * stride];
    } else {
        for (size_t i = 0; i < pieces; ++i) std::memcpy(out + i * width, data + i * stride, width);
    }
}

// The writers of the format families; `checksum` is nullptr or the
// accumulator of the file's figures.
std::unique_ptr<RecordWriter> make_intel_writer(ByteSink& sink, FileChecksum* checksum);
std::unique_ptr<RecordWriter> make_motorola_writer(Format format, WriterShared& shared,
                                                   ByteSink& sink, FileChecksum* checksum);
std::unique_ptr<RecordWriter> make_tektronix_writer(uint32_t entry_address, ByteSink& sink,
                                                    FileChecksum* checksum);
std::unique_ptr<RecordWriter> make_debug_writer(int32_t rom_width, ByteSink& sink,
                                                FileChecksum* checksum);
std::unique_ptr<RecordWriter> make_ascii_hex_writer(ByteSink& sink, FileChecksum* checksum);
std::unique_ptr<RecordWriter> make_generic_writer(int32_t rom_width, int32_t olength,
                                                  ByteSink& sink, FileChecksum* checksum);
std::unique_ptr<RecordWriter> make_tagged_writer(ByteSink& sink, FileChecksum* checksum);
std::unique_ptr<RecordWriter> make_binary_writer(ByteSink& sink, FileChecksum* checksum);

}  // namespace coffhex
