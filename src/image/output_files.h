// Width splitting and output files: ROM-width lanes, the open output files
// of the current range and their record writers.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cmdfile/roms.h"
#include "formats/checksum.h"
#include "formats/writer.h"
#include "platform/files.h"

namespace coffhex {

class Diagnostics;

// Size of the stdio buffer given to every output stream.
inline constexpr size_t OUTPUT_BUFFER_SIZE = 1u << 20;

// Number of output files (lanes) of a range with these widths in bytes.
int lane_count(int32_t memwidth, int32_t romwidth);

// An output file as the sink of its writer: the stream, and the first
// write failure, reported when the file is closed.
class FileSink : public ByteSink {
public:
    void write(const char* data, size_t length) override;
    FILE* stream = nullptr;
    bool failed = false;
    int error = 0;  // errno of the first failed write
};

// What the output files of a conversion are written with.
struct OutputSettings {
    Format format = Format::Tektronix;
    int order = 1;                 // ORDER_LS or ORDER_MS (lane assignment)
    bool zero_based = false;       // -zero (only with -image)
    bool byte_addressing = false;  // -byte
    int32_t olength = 20;          // Generic line length
    uint32_t entry_address = 0;    // Extended Tektronix termination record
    bool checksum = false;         // -checksum: the figures of every file
    bool no_files = false;         // a pass that only measures: nothing is written
};

// An output file the run has written and closed, with its figures (kept
// only under -checksum).
struct WrittenFile {
    std::string name;
    const RomRange* range = nullptr;
    int position = 0;  // in the range's file list (its lane)
    ChecksumFigures figures;
};

// Where the bytes of a range go: lane by lane into the range's output
// files. One range's files are open at a time; every file of the run is
// written under a temporary name and put in place at the end.
class RangeOutput {
public:
    RangeOutput(const OutputSettings& settings, Diagnostics& diag);
    ~RangeOutput();
    RangeOutput(const RangeOutput&) = delete;
    RangeOutput& operator=(const RangeOutput&) = delete;

    // Writes length bytes (whole memory words, already in lane byte order)
    // for `address` of `range` to the range's files, opening them on first
    // use. When the ROM is wider than the memory word, a lane
    // piece is at most `call_length` bytes: the buffer stands for
    // consecutive writes of that many bytes each (0: one write of the
    // whole buffer). `section` is the entry the bytes are written for.
    void write_range_data(const RomRange& range, uint32_t address, const uint8_t* buffer,
                          uint32_t length, uint32_t call_length, SectionId section);

    void open_range_files(const RomRange& range);
    // Ends the pending record of every file of the range.
    void flush_range_files(const RomRange& range);
    // Flushes, writes the trailers and closes every file of the range
    // (nothing when they are not open).
    void close_range_files(const RomRange& range);

    // True while the files of `range` are open (in a pass that writes no
    // file: once the range was written to, until it is closed).
    bool files_open(const RomRange& range) const { return open_ == &range; }
    // The address after the last data written to the open range.
    uint32_t next_address() const { return last_written_; }
    // The address the record writers print next.
    uint32_t output_address() const { return output_address_; }

    // True once a write to an output file has failed.
    bool write_failed() const { return write_failed_; }
    // Under -checksum: every file closed so far, range by range, each
    // range's in the order of its file list.
    const std::vector<WrittenFile>& written_files() const { return written_; }
    // Puts every closed output file in place under its final name (an ERROR
    // names a file that could not be).
    void put_files_in_place();
    // Closes every file still open (no trailers) and removes every file of
    // the run still under its temporary name: the files of an earlier run
    // stay as they were.
    void abandon();

private:
    struct Lane {
        std::string name;
        StagedFile file;
        FileSink sink;
        std::unique_ptr<RecordWriter> writer;
        std::unique_ptr<char[]> buffer;  // stdio buffer, kept for the next range
        // The file's figures under -checksum (kept for the next range).
        std::unique_ptr<FileChecksum> checksum;
        const RomRange* range = nullptr;
        int position = 0;  // in the range's file list
    };
    void close_lane(Lane& lane);

    OutputSettings settings_;
    Diagnostics& diag_;
    WriterShared shared_;
    std::array<Lane, MAX_OUTPUT_FILES> lanes_;
    int lanes_open_ = 0;
    // The range whose files are open, the address after its last data and
    // the address the writers print next.
    const RomRange* open_ = nullptr;
    uint32_t last_written_ = 0;
    uint32_t output_address_ = 0;
    std::vector<StagedFile> closed_files_;
    std::vector<WrittenFile> written_;
    bool write_failed_ = false;
};

}  // namespace coffhex
