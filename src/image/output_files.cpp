// Width splitting and output files.
//
// Every byte that reaches an output file passes through here: the memory
// words (already in lane byte order) are cut into ROM-width lanes, and each
// lane goes to its own file through the chosen format's writer, with the
// output address the writers print.
#include "image/output_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "diag/diag.h"
#include "formats/format_table.h"
#include "image/byte_order.h"

namespace coffhex {

int lane_count(int32_t memwidth, int32_t romwidth) {
    if (romwidth <= 0 || memwidth <= romwidth) return 1;
    return memwidth / romwidth;
}

void FileSink::write(const char* data, size_t length) {
    if (length == 0) return;
    if (stream == nullptr) {
        if (!failed) {
            failed = true;
            error = EBADF;
        }
        return;
    }
    errno = 0;
    if (std::fwrite(data, 1, length, stream) != length && !failed) {
        failed = true;
        error = errno != 0 ? errno : EIO;
    }
}

RangeOutput::RangeOutput(const OutputSettings& settings, Diagnostics& diag)
    : settings_(settings), diag_(diag), shared_(diag) {}

RangeOutput::~RangeOutput() { abandon(); }

// Reports the first write error of a file, then closes it; the file waits
// to be put in place at the end of the run.
void RangeOutput::close_lane(Lane& lane) {
    FILE* stream = lane.sink.stream;
    if (stream == nullptr) return;
    const int error = close_written_stream(
        stream, lane.sink.failed ? (lane.sink.error != 0 ? lane.sink.error : EIO) : 0);
    lane.sink.stream = nullptr;
    lane.writer.reset();
    if (lane.checksum != nullptr)
        written_.push_back({lane.name, lane.range, lane.position, lane.checksum->figures()});
    closed_files_.push_back(std::move(lane.file));
    lane.file = StagedFile{};
    if (error != 0) {
        write_failed_ = true;
        diag_.report(ERROR, "cannot write output file '%s': %s", lane.name.c_str(), std::strerror(error));
    }
}

void RangeOutput::open_range_files(const RomRange& range) {
    const int lanes = lane_count(range.memwidth, range.romwidth);
    if (lanes > MAX_OUTPUT_FILES)
        diag_.fatal("memory range %s needs %d output files (at most %d are supported)", range.name,
                    lanes, MAX_OUTPUT_FILES);
    if (static_cast<int>(range.files.size()) < lanes)
        diag_.internal("output file names missing for %s", range.name);

    // Files of an earlier range that was never closed go without trailers.
    for (Lane& lane : lanes_) close_lane(lane);

    open_ = &range;
    output_address_ = 0;
    last_written_ = 0;
    lanes_open_ = lanes;
    WriterSettings writer_settings;
    writer_settings.format = settings_.format;
    writer_settings.rom_width = range.romwidth;
    writer_settings.olength = settings_.olength;
    writer_settings.entry_address = settings_.entry_address;
    const bool ms = settings_.order == ORDER_MS;
    const bool binary = hex_format(settings_.format).binary;
    // Lane k takes the k-th ROM-width piece of every memory word; with MS
    // order the files are taken in the opposite order, so that the file at
    // list position i always holds the same bits of the memory word.
    for (int i = 0; i < lanes; ++i) {
        const int k = ms ? lanes - 1 - i : i;
        Lane& lane = lanes_[static_cast<size_t>(k)];
        lane.name = range.files[static_cast<size_t>(i)].name;
        lane.sink = FileSink{};
        lane.sink.stream = open_staged(lane.name, binary, lane.file);
        if (lane.sink.stream == nullptr)
            diag_.fatal("cannot open output file '%s': %s", lane.name.c_str(), std::strerror(errno));
        if (!lane.buffer) lane.buffer = std::make_unique<char[]>(OUTPUT_BUFFER_SIZE);
        std::setvbuf(lane.sink.stream, lane.buffer.get(), _IOFBF, OUTPUT_BUFFER_SIZE);
        lane.range = &range;
        lane.position = i;
        if (settings_.checksum) {
            if (!lane.checksum) lane.checksum = std::make_unique<FileChecksum>();
            lane.checksum->reset(file_address_bits(settings_.format));
        }
        lane.writer = make_record_writer(writer_settings, shared_, lane.sink, lane.checksum.get());
        lane.writer->begin_file();
    }
}

void RangeOutput::write_range_data(const RomRange& range, uint32_t address, const uint8_t* buffer,
                                   uint32_t length, uint32_t call_length, SectionId section) {
    if (length == 0) return;
    const int32_t mem = range.memwidth;
    const int32_t rom = range.romwidth;
    const uint32_t W = static_cast<uint32_t>(mem);
    const uint32_t R = static_cast<uint32_t>(rom);

    // Both checks come before anything of this call reaches a file.
    if (mem <= 0 || rom <= 0 || length % W != 0 || (R < W && W % R != 0))
        diag_.internal("nbytes not a multiple of mem width/rom width");
    // Only the first piece can be misaligned: if it is a whole ROM lane, R
    // is a multiple of W and so is every later piece.
    if (R > W && std::min(R, length) % W != 0)
        diag_.abort_with_text("INTERNAL ERROR: misaligned internal data write (ABORT)\n", 1);

    if (settings_.no_files) {
        open_ = &range;
        last_written_ = address + length;
        return;
    }
    if (open_ != &range) open_range_files(range);

    if (address != last_written_ && !settings_.zero_based) {
        // Under -byte each file is addressed in its own ROM bytes: memory
        // word w starts at ROM byte w * romwidth of every lane.
        output_address_ = settings_.byte_addressing && R < W ? address / W * R : address;
        for (int k = 0; k < lanes_open_; ++k) lanes_[static_cast<size_t>(k)].writer->new_address(output_address_, section);
    }

    if (R <= W) {
        // Every lane's pieces of all the words in one run per lane. The
        // lanes go to separate files, so lane after lane writes what word
        // after word would; all lanes start their records at the same words,
        // so the one warning a writer gives per section (a truncated
        // Motorola address) still comes from lane 0 at the same word.
        const uint32_t lanes = W / R;
        const uint32_t step = settings_.byte_addressing ? R : W;
        const uint32_t words = length / W;
        for (uint32_t k = 0; k < lanes; ++k) {
            const LaneRun run{buffer + k * R, words, rom, W, output_address_, step};
            lanes_[k].writer->data(run, section);
        }
        output_address_ += words * step;
    } else {
        // Pieces of R bytes, or of the length of one write when the buffer
        // stands for several shorter writes; a last shorter piece (whole
        // memory words) on its own.
        const uint32_t P = call_length != 0 && call_length < R ? call_length : R;
        const uint32_t whole = length / P;
        const uint32_t tail = length - whole * P;
        RecordWriter& writer = *lanes_[0].writer;
        if (whole > 0) {
            writer.data(LaneRun{buffer, whole, static_cast<int>(P), P, output_address_, P}, section);
            output_address_ += whole * P;
        }
        if (tail > 0) {
            writer.data(LaneRun{buffer + whole * P, 1, static_cast<int>(tail), tail, output_address_, tail},
                        section);
            output_address_ += tail;
        }
    }
    last_written_ = address + length;
}

void RangeOutput::flush_range_files(const RomRange& range) {
    if (open_ != &range) return;
    for (int k = 0; k < lanes_open_; ++k) {
        RecordWriter& writer = *lanes_[static_cast<size_t>(k)].writer;
        if (writer.pending()) writer.end_record();
    }
}

void RangeOutput::close_range_files(const RomRange& range) {
    if (open_ != &range) return;
    flush_range_files(range);
    const size_t first_written = written_.size();
    for (int k = 0; k < lanes_open_; ++k) {
        Lane& lane = lanes_[static_cast<size_t>(k)];
        lane.writer->end_file();
        close_lane(lane);
    }
    // The lanes close in lane order, which MS order turns around; the
    // range's files are listed in the order of its file list.
    std::sort(written_.begin() + static_cast<std::ptrdiff_t>(first_written), written_.end(),
              [](const WrittenFile& a, const WrittenFile& b) { return a.position < b.position; });
    lanes_open_ = 0;
    open_ = nullptr;
}

void RangeOutput::put_files_in_place() {
    for (StagedFile& file : closed_files_) {
        if (!commit_staged(file))
            diag_.report(ERROR, "cannot write output file '%s': %s", file.final_name.c_str(),
                         std::strerror(errno));
    }
    closed_files_.clear();
}

void RangeOutput::abandon() {
    for (Lane& lane : lanes_) {
        if (lane.sink.stream != nullptr) std::fclose(lane.sink.stream);
        lane.sink.stream = nullptr;
        lane.writer.reset();
        discard_staged(lane.file);
    }
    for (StagedFile& file : closed_files_) discard_staged(file);
    closed_files_.clear();
    written_.clear();
    lanes_open_ = 0;
    open_ = nullptr;
}

}  // namespace coffhex
