// The record writers: one writer object per open output file, driven by the
// width splitter through the five operations of the writer protocol
// (begin file, new address, data, end record, end file). Each format's
// writer is built around a pure record encoder (formats/encoders.h) and
// writes its text into a ByteSink through a buffer of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace coffhex {

class Diagnostics;
class FileChecksum;

// Rows of the output format table.
enum class Format : int {
    Debug = 0,
    Intel = 1,
    Motorola = 2,    // S3 records
    MotorolaS1 = 3,
    MotorolaS2 = 4,
    MotorolaS3 = 5,
    Tagged = 6,      // QV-Tagged
    Tektronix = 7,   // Extended Tektronix, the default
    AsciiHex = 8,
    Generic = 9,
    Binary = 10,
};
inline constexpr int FORMAT_COUNT = 11;

// Where the text (or the bytes, for Binary) of one output file goes.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const char* data, size_t length) = 0;
};

// A run of lane pieces for one file: piece i is the `piece` bytes at
// data + i * stride, and belongs at output address address + i * step
// (modulo 2^32). Every piece is one operation 3 of the writer protocol:
// a writer's records come out exactly as if it had been handed the pieces
// one by one. A single-lane range hands over whole buffers (stride =
// piece); a multi-lane range hands each lane its pieces of every memory
// word (stride = memory width).
struct LaneRun {
    const uint8_t* data = nullptr;
    size_t pieces = 0;
    int piece = 1;        // bytes per piece (at least 1)
    size_t stride = 1;    // bytes from the start of one piece to the next
    uint32_t address = 0; // output address of the first piece
    uint32_t step = 1;    // output address advance per piece
};

// What shapes the records of one conversion's writers.
struct WriterSettings {
    Format format = Format::Tektronix;
    int32_t rom_width = 1;       // bytes: the ROM width of the range (Generic's ROM word)
    int32_t olength = 20;        // Generic: ROM words per line
    uint32_t entry_address = 0;  // Extended Tektronix termination record
};

// Shared by every writer of one conversion: the Motorola-S1/S2 address
// truncation warning is given at most once per section entry, whichever
// file and range draws it.
struct WriterShared {
    explicit WriterShared(Diagnostics& d) : diag(d) {}
    Diagnostics& diag;
    int warned_section = -1;  // id of the section entry last warned for
};

// The section entry whose data is being written (its id in the selection
// list), or -1 for none. Only the Motorola writer uses it.
using SectionId = int;

class RecordWriter {
public:
    virtual ~RecordWriter() = default;

    // Operation 1: any file header.
    virtual void begin_file() = 0;
    // Operation 2: the output address has jumped to `address`.
    virtual void new_address(uint32_t address, SectionId section) = 0;
    // Operation 3 once per piece of the run, in order.
    virtual void data(const LaneRun& run, SectionId section) = 0;
    // Operation 4: completes and writes the pending record, if any.
    virtual void end_record() = 0;
    // Operation 5: ends the pending record and writes any file trailer,
    // then hands everything still buffered to the sink.
    virtual void end_file() = 0;
    // A record is pending (has been started and not yet written).
    virtual bool pending() const = 0;
};

// The writer of `settings.format` for one output file. With a `checksum`
// the writer adds the data bytes of every record it writes to it, at the
// address the file gives them (see formats/checksum.h); without one it
// does nothing more.
std::unique_ptr<RecordWriter> make_record_writer(const WriterSettings& settings,
                                                 WriterShared& shared, ByteSink& sink,
                                                 FileChecksum* checksum = nullptr);

// Width in bits of the addresses a file of `format` carries: 16 for
// Motorola-S1 and QV-Tagged, 24 for Motorola-S2, 32 for the others (Binary
// files are addressed by their offsets).
int file_address_bits(Format format);

}  // namespace coffhex
