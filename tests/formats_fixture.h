// Shared fixture of the format writer tests: one output stream on a
// temporary file, driven the way the width splitter drives a writer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "diag/diag.h"
#include "driver/options.h"
#include "formats/format_table.h"
#include "formats/writer.h"

namespace formats_test {

using coffhex::OutputStream;
using coffhex::WriterEnv;

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        coffhex::reset_writers();
        coffhex::reset_diagnostics();
        coffhex::reset_option_values();
    }
    void TearDown() override { close_file(); }

    // Opens a fresh temporary file for the writer of format `format`, with
    // lanes of `rom_width` bytes, and calls operation 1 as the splitter does
    // at file open.
    void open(int format, int rom_width = 1) {
        close_file();
        os_ = OutputStream{};
        os_.stream = std::tmpfile();
        ASSERT_NE(os_.stream, nullptr);
        os_.prepare(rom_width);
        env_ = WriterEnv{};
        env_.format = format;
        env_.rom_width = rom_width;
        writer_ = coffhex::hex_format(format).writer;
        ASSERT_NE(writer_, nullptr);
        next_address_ = 0;
        op(coffhex::OP_BEGIN_FILE);
    }

    void op(int code, const uint8_t* data = nullptr, int count = 0) {
        writer_(code, os_, data, count, env_);
    }

    // Writes `bytes` from `address` in lane pieces of `piece` bytes, the
    // output address advancing by `step` per piece; an address that does not
    // continue the previous write first draws operation 2, as the splitter
    // does.
    void write(uint32_t address, const std::vector<uint8_t>& bytes, int piece = 1, int step = -1) {
        if (step < 0) step = piece;
        if (address != next_address_) {
            env_.output_address = address;
            op(coffhex::OP_NEW_ADDRESS);
        }
        for (size_t i = 0; i < bytes.size(); i += static_cast<size_t>(piece)) {
            env_.output_address = address;
            int n = static_cast<int>(bytes.size() - i) < piece ? static_cast<int>(bytes.size() - i)
                                                               : piece;
            op(coffhex::OP_DATA, bytes.data() + i, n);
            address += static_cast<uint32_t>(step);
        }
        env_.output_address = address;
        next_address_ = address;
    }

    // Ends a pending record (the splitter's flush) and the file, and returns
    // everything written.
    std::string finish() {
        if (os_.pending()) op(coffhex::OP_END_RECORD);
        op(coffhex::OP_END_FILE);
        return contents();
    }

    std::string contents() {
        std::fflush(os_.stream);
        std::rewind(os_.stream);
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, os_.stream)) > 0) text.append(buffer, n);
        std::fseek(os_.stream, 0, SEEK_END);
        return text;
    }

    void close_file() {
        if (os_.stream != nullptr) std::fclose(os_.stream);
        os_.stream = nullptr;
    }

    OutputStream os_;
    WriterEnv env_;
    coffhex::HexWriter writer_ = nullptr;
    uint32_t next_address_ = 0;
};

// Bytes first, first + 1, ... (mod 256).
inline std::vector<uint8_t> counting(int count, int first = 0) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
    return bytes;
}

// Lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
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

}  // namespace formats_test
