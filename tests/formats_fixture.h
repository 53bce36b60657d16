// Shared fixture of the record writer tests: one writer on an in-memory
// sink, driven the way the width splitter drives it, with the messages of
// its run captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "diag/diag.h"
#include "formats/writer.h"
#include "support/bytes.h"
#include "support/string_sink.h"

namespace formats_test {

using coffhex::Format;

class WriterTest : public ::testing::Test {
protected:
    WriterTest() : err_(std::tmpfile()), diag_(err_, err_), shared_(diag_) {}
    ~WriterTest() override { std::fclose(err_); }

    // A fresh file: the writer of `format` for lanes of `rom` bytes, after
    // operation 1. Writers opened by one test share the run's WriterShared.
    // With a `checksum`, the writer adds the data bytes of its records to it.
    void open(Format format, int rom = 1, int olength = 20, uint32_t entry = 0,
              coffhex::FileChecksum* checksum = nullptr) {
        sink_.text.clear();
        writer_ = coffhex::make_record_writer({format, rom, olength, entry}, shared_, sink_, checksum);
        writer_->begin_file();
        next_ = 0;
    }

    // `bytes` from `address` in pieces of `piece` bytes, the address
    // advancing by `step` per piece (default: the piece); operation 2 first
    // when the address does not continue the previous write. The whole
    // pieces go as one run, a shorter last piece as a run of its own.
    void write(uint32_t address, const std::vector<uint8_t>& bytes, int piece = 1, int step = 0) {
        const uint32_t advance = step > 0 ? static_cast<uint32_t>(step) : static_cast<uint32_t>(piece);
        if (address != next_) writer_->new_address(address, section_);
        const size_t width = static_cast<size_t>(piece);
        const size_t whole = bytes.size() / width;
        writer_->data({bytes.data(), whole, piece, width, address, advance}, section_);
        address += static_cast<uint32_t>(whole) * advance;
        if (bytes.size() % width != 0) {
            writer_->data({bytes.data() + whole * width, 1, static_cast<int>(bytes.size() % width),
                           width, address, advance},
                          section_);
            address += advance;
        }
        next_ = address;
    }

    // Ends a pending record (the splitter's flush) and the file; everything
    // the writer handed to the sink.
    std::string finish() {
        if (writer_->pending()) writer_->end_record();
        writer_->end_file();
        return sink_.text;
    }

    std::string messages() {
        std::fflush(err_);
        std::rewind(err_);
        std::string text;
        for (int c; (c = std::fgetc(err_)) != EOF;) text += static_cast<char>(c);
        return text;
    }

    FILE* err_;
    coffhex::Diagnostics diag_;
    coffhex::WriterShared shared_;
    testsupport::StringSink sink_;
    std::unique_ptr<coffhex::RecordWriter> writer_;
    uint32_t next_ = 0;
    coffhex::SectionId section_ = -1;  // the section entry whose data is written
};

// Bytes first, first + 1, ... (mod 256).
inline std::vector<uint8_t> counting(int count, int first = 0) {
    return testsupport::counting_bytes(static_cast<size_t>(count), static_cast<uint8_t>(first));
}

// Lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Value of a run of hex digits.
inline uint32_t hex_value(const std::string& text, size_t position, size_t digits) {
    return static_cast<uint32_t>(std::stoul(text.substr(position, digits), nullptr, 16));
}

// `digits` upper-case hex digits of a value.
inline std::string hex_digits(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// Upper-case hex digits of the bytes.
inline std::string hex_of(const std::vector<uint8_t>& bytes, size_t from = 0,
                          size_t count = SIZE_MAX) {
    std::string text;
    char pair[3];
    for (size_t i = from; i < bytes.size() && i - from < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        text += pair;
    }
    return text;
}

}  // namespace formats_test
