// The writer of each format row, and the output buffer's growth.
#include "formats/writer.h"

#include "formats/output_buffer.h"

namespace coffhex {

void OutputBuffer::make_room(size_t length) {
    flush();
    if (length <= capacity_) return;
    data_ = std::make_unique<char[]>(length);
    capacity_ = length;
}

std::unique_ptr<RecordWriter> make_record_writer(const WriterSettings& settings,
                                                 WriterShared& shared, ByteSink& sink,
                                                 FileChecksum* checksum) {
    switch (settings.format) {
    case Format::Debug:
        return make_debug_writer(settings.rom_width, sink, checksum);
    case Format::Intel:
        return make_intel_writer(sink, checksum);
    case Format::Motorola:
    case Format::MotorolaS1:
    case Format::MotorolaS2:
    case Format::MotorolaS3:
        return make_motorola_writer(settings.format, shared, sink, checksum);
    case Format::Tagged:
        return make_tagged_writer(sink, checksum);
    case Format::AsciiHex:
        return make_ascii_hex_writer(sink, checksum);
    case Format::Generic:
        return make_generic_writer(settings.rom_width, settings.olength, sink, checksum);
    case Format::Binary:
        return make_binary_writer(sink, checksum);
    case Format::Tektronix:
        break;
    }
    // Extended Tektronix, the default row.
    return make_tektronix_writer(settings.entry_address, sink, checksum);
}

int file_address_bits(Format format) {
    switch (format) {
    case Format::MotorolaS1:
    case Format::Tagged:
        return 16;
    case Format::MotorolaS2:
        return 24;
    default:
        return 32;
    }
}

}  // namespace coffhex
