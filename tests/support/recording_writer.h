// Helpers for tests of placement and width splitting: a writer that
// records every call of the writer protocol instead of writing records,
// and small text and byte helpers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "formats/writer.h"
#include "image/output_files.h"

namespace testsupport {

struct WriterCall {
    int op;
    int stream;  // index in the output stream table
    std::vector<uint8_t> bytes;
    uint32_t address;  // output address the writer was given
};

inline std::vector<WriterCall> recorded_calls;

inline void recording_writer(int op, coffhex::OutputStream& os, const uint8_t* data, int count,
                             const coffhex::WriterEnv& env) {
    WriterCall call{op, static_cast<int>(&os - &coffhex::output_stream(0)), {}, env.output_address};
    if (data != nullptr) call.bytes.assign(data, data + count);
    recorded_calls.push_back(std::move(call));
    // Behave like a record writer: data leaves a record pending.
    if (op == coffhex::OP_DATA) os.cursor = 1;
    if (op == coffhex::OP_END_RECORD) os.cursor = 0;
}

// Joins the continuation lines of a wrapped diagnostic.
inline std::string unwrap(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == ' ') {
            out += ' ';
            while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

inline std::vector<uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

}  // namespace testsupport
