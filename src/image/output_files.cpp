// Width splitting and output files.
//
// Every byte that reaches an output file passes through here: the memory
// word is put into the agreed byte order, cut into ROM-width lanes, and each
// lane goes to its own file through the chosen format's writer. The writers
// print the current range's output address, which is kept here.
#include "image/output_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "formats/format_table.h"
#include "image/placement.h"
#include "platform/files.h"

namespace coffhex {

namespace {

OutputStream g_streams[MAX_OUTPUT_FILES];
// stdio buffers of the streams; allocated on first use and kept, since a
// stream's buffer must outlive it.
std::unique_ptr<char[]> g_buffers[MAX_OUTPUT_FILES];
// The file behind each stream, written under a temporary name until the
// run has written everything.
StagedFile g_files[MAX_OUTPUT_FILES];
// Files of ranges already closed, waiting to be put in place.
std::vector<StagedFile> g_closed_files;
bool g_write_failed = false;
// Entries opened for the current range.
int g_lanes_open = 0;
HexWriter g_writer_override = nullptr;
// What the writers read besides their stream; refreshed per call.
WriterEnv g_env;

HexWriter active_writer() {
    if (g_writer_override != nullptr) return g_writer_override;
    return hex_format(options().format).writer;
}

// The bulk entry point of the format's writer; none while a replacement
// writer records the protocol piece by piece.
HexBulkWriter active_bulk_writer() {
    if (g_writer_override != nullptr) return nullptr;
    return hex_format(options().format).bulk;
}

// The data order in force: the one given, else the input file's own.
int effective_order() {
    int order = options().order;
    if (order == ORDER_LS || order == ORDER_MS) return order;
    return coff_input().big_endian_data ? ORDER_MS : ORDER_LS;
}

void reverse_groups(uint8_t* buffer, uint32_t length, uint32_t group) {
    if (group <= 1) return;
    if (group == 2) {
        for (uint32_t i = 0; i + 2 <= length; i += 2) std::swap(buffer[i], buffer[i + 1]);
    } else if (group == 4) {
        for (uint32_t i = 0; i + 4 <= length; i += 4) {
            std::swap(buffer[i], buffer[i + 3]);
            std::swap(buffer[i + 1], buffer[i + 2]);
        }
    } else {
        for (uint64_t i = 0; i + group <= length; i += group)
            std::reverse(buffer + i, buffer + i + group);
    }
}

void refresh_env(const RomRange& range) {
    const SectionSpec* entry = current_entry();
    g_env.output_address = range.output_address;
    g_env.rom_width = range.romwidth;
    g_env.format = options().format;
    g_env.olength = options().olength;
    g_env.entry_address = coff_input().entry_address;
    g_env.section = entry;
    g_env.section_name = entry != nullptr ? entry->name.c_str() : "";
}

// Reports the first write error of a stream, then closes it; its file
// waits to be put in place at the end of the run.
void close_stream(OutputStream& os) {
    if (os.stream == nullptr) return;
    StagedFile& file = g_files[&os - g_streams];
    g_closed_files.push_back(std::move(file));
    file = StagedFile{};
    int error = os.write_failed ? (os.write_errno != 0 ? os.write_errno : EIO) : 0;
    errno = 0;
    if (std::fflush(os.stream) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error == 0 && std::ferror(os.stream)) error = EIO;
    errno = 0;
    if (std::fclose(os.stream) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    os.stream = nullptr;
    if (error != 0) {
        g_write_failed = true;
        report(ERROR, "cannot write output file '%s': %s", os.name.c_str(), std::strerror(error));
    }
}

}  // namespace

int lane_count(int32_t memwidth, int32_t romwidth) {
    if (romwidth <= 0 || memwidth <= romwidth) return 1;
    return memwidth / romwidth;
}

void apply_byte_order(uint8_t* buffer, uint32_t length) {
    const SectionSpec* entry = current_entry();
    int32_t datawidth = entry != nullptr && entry->datawidth >= 1 ? entry->datawidth
                                                                  : options().data_width;
    const int order = effective_order();
    if (coff_input().big_endian_data == (order == ORDER_LS) && datawidth > 1)
        reverse_groups(buffer, length, static_cast<uint32_t>(datawidth));
    const RomRange* range = current_range();
    if (range != nullptr && order == ORDER_LS) {
        int32_t m = std::min(range->romwidth, range->memwidth);
        if (m > 1) reverse_groups(buffer, length, static_cast<uint32_t>(m));
    }
}

void write_range_data(const uint8_t* buffer, uint32_t length, uint32_t call_length) {
    RomRange* range = current_range();
    if (range == nullptr || length == 0) return;
    const int32_t mem = range->memwidth;
    const int32_t rom = range->romwidth;
    const uint32_t W = static_cast<uint32_t>(mem);
    const uint32_t R = static_cast<uint32_t>(rom);

    // Both checks come before anything of this call reaches a file.
    if (mem <= 0 || rom <= 0 || length % W != 0 || (R < W && W % R != 0))
        report(INTERNAL, "nbytes not a multiple of mem width/rom width");
    if (R > W && std::min(R, length) % W != 0) {
        // Only the first piece can be misaligned: if it is a whole ROM lane,
        // R is a multiple of W and so is every later piece.
        std::fflush(stdout);
        std::fputs("INTERNAL ERROR: misaligned internal data write (ABORT)\n", stderr);
        std::fflush(stderr);
        end_run(1);
    }

    if (!range->open) open_range_files();
    const HexWriter writer = active_writer();
    refresh_env(*range);

    if (range->address != range->last_written && !options().zero_based) {
        // Under -byte each file is addressed in its own ROM bytes: memory
        // word w starts at ROM byte w * romwidth of every lane.
        range->output_address = options().byte_addressing && R < W ? range->address / W * R
                                                                   : range->address;
        g_env.output_address = range->output_address;
        if (writer != nullptr)
            for (int k = 0; k < g_lanes_open; ++k)
                writer(OP_NEW_ADDRESS, g_streams[k], nullptr, 0, g_env);
    }

    const HexBulkWriter bulk = writer != nullptr ? active_bulk_writer() : nullptr;
    if (R <= W) {
        const uint32_t lanes = W / R;
        const uint32_t step = options().byte_addressing ? R : W;
        const uint32_t words = length / W;
        uint32_t output_address = range->output_address;
        if (bulk != nullptr) {
            // Every lane's pieces of all the words in one call per lane.
            // The lanes go to separate files, so lane after lane writes
            // what word after word would; all lanes start their records at
            // the same words, so the one warning a writer gives per section
            // (a truncated Motorola address) still comes from lane 0 at the
            // same word.
            for (uint32_t k = 0; k < lanes; ++k) {
                const LaneRun run{buffer + k * R, words, rom, W, step};
                g_env.output_address = output_address;
                bulk(g_streams[k], run, g_env);
            }
            output_address += words * step;
        } else if (writer != nullptr) {
            const int count = static_cast<int>(R);
            for (const uint8_t* word = buffer; word != buffer + length; word += W) {
                g_env.output_address = output_address;
                const uint8_t* piece = word;
                for (uint32_t k = 0; k < lanes; ++k, piece += R)
                    writer(OP_DATA, g_streams[k], piece, count, g_env);
                output_address += step;
            }
        } else {
            output_address += words * step;
        }
        range->output_address = output_address;
        range->address += length;
        range->last_written = range->address;
    } else {
        // Pieces of R bytes, or of the length of one write when the buffer
        // stands for several shorter writes (a last shorter piece is whole
        // memory words too).
        const uint32_t P = call_length != 0 && call_length < R ? call_length : R;
        uint32_t done = 0;
        // The whole pieces in one call; a last shorter piece on its own
        // below.
        if (bulk != nullptr && length >= P) {
            const uint32_t pieces = length / P;
            const LaneRun run{buffer, pieces, static_cast<int>(P), P, P};
            g_env.output_address = range->output_address;
            bulk(g_streams[0], run, g_env);
            done = pieces * P;
            range->address += done;
            range->last_written = range->address;
            range->output_address += done;
        }
        while (done < length) {
            const uint32_t n = std::min(P, length - done);
            g_env.output_address = range->output_address;
            if (writer != nullptr)
                writer(OP_DATA, g_streams[0], buffer + done, static_cast<int>(n), g_env);
            done += n;
            range->address += n;
            range->last_written = range->address;
            range->output_address += n;
        }
    }
}

void open_range_files() {
    RomRange* range = current_range();
    if (range == nullptr) return;
    const int lanes = lane_count(range->memwidth, range->romwidth);
    if (lanes > MAX_OUTPUT_FILES)
        report(FATAL, "memory range %s needs %d output files (at most %d are supported)",
               range->name, lanes, MAX_OUTPUT_FILES);
    if (static_cast<int>(range->files.size()) < lanes)
        report(INTERNAL, "output file names missing for %s", range->name);

    // Streams of an earlier range that was never closed go without trailers.
    for (int k = 0; k < MAX_OUTPUT_FILES; ++k) close_stream(g_streams[k]);

    range->open = true;
    range->output_address = 0;
    range->last_written = 0;
    g_lanes_open = lanes;
    const HexWriter writer = active_writer();
    refresh_env(*range);
    const bool ms = effective_order() == ORDER_MS;
    const bool binary = options().format == FMT_BINARY;
    for (int i = 0; i < lanes; ++i) {
        const int k = ms ? lanes - 1 - i : i;
        OutputStream& os = g_streams[k];
        const std::string& name = range->files[static_cast<size_t>(i)].name;
        os.name = name;
        os.write_failed = false;
        os.write_errno = 0;
        os.stream = open_staged(name, binary, g_files[k]);
        if (os.stream == nullptr)
            report(FATAL, "cannot open output file '%s': %s", name.c_str(), std::strerror(errno));
        if (!g_buffers[k]) g_buffers[k] = std::make_unique<char[]>(OUTPUT_BUFFER_SIZE);
        std::setvbuf(os.stream, g_buffers[k].get(), _IOFBF, OUTPUT_BUFFER_SIZE);
        os.prepare(range->romwidth);
        os.cursor = 0;
        os.last_address = 0;
        os.format_flag = 0;
        if (writer != nullptr) writer(OP_BEGIN_FILE, os, nullptr, 0, g_env);
    }
}

void flush_range_files() {
    RomRange* range = current_range();
    if (range == nullptr || !range->open) return;
    const HexWriter writer = active_writer();
    if (writer == nullptr) return;
    refresh_env(*range);
    for (int k = 0; k < g_lanes_open; ++k)
        if (g_streams[k].pending()) writer(OP_END_RECORD, g_streams[k], nullptr, 0, g_env);
}

void close_range_files() {
    RomRange* range = current_range();
    if (range == nullptr || !range->open) return;
    flush_range_files();
    const HexWriter writer = active_writer();
    refresh_env(*range);
    for (int k = 0; k < g_lanes_open; ++k) {
        if (writer != nullptr) writer(OP_END_FILE, g_streams[k], nullptr, 0, g_env);
        close_stream(g_streams[k]);
    }
    g_lanes_open = 0;
    range->open = false;
}

OutputStream& output_stream(int k) {
    if (k < 0 || k >= MAX_OUTPUT_FILES) k = 0;
    return g_streams[k];
}

void abandon_output_files() {
    for (int k = 0; k < MAX_OUTPUT_FILES; ++k) {
        OutputStream& os = g_streams[k];
        if (os.stream != nullptr) std::fclose(os.stream);
        os.stream = nullptr;
        discard_staged(g_files[k]);
    }
    for (StagedFile& file : g_closed_files) discard_staged(file);
    g_closed_files.clear();
    g_lanes_open = 0;
}

bool output_write_failed() { return g_write_failed; }

void put_output_files_in_place() {
    for (StagedFile& file : g_closed_files) {
        if (!commit_staged(file))
            report(ERROR, "cannot write output file '%s': %s", file.final_name.c_str(),
                   std::strerror(errno));
    }
    g_closed_files.clear();
}

void set_writer_override(HexWriter writer) { g_writer_override = writer; }

void reset_output_files() {
    abandon_output_files();
    for (OutputStream& os : g_streams) os = OutputStream{};
    g_write_failed = false;
    g_writer_override = nullptr;
    g_env = WriterEnv{};
}

}  // namespace coffhex
