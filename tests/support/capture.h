// Test support: a conversion's diagnostics whose standard output and
// standard error are kept in memory, for tests that build the objects of a
// run themselves.
#pragma once

#include <cstdio>
#include <string>

#include "diag/diag.h"

namespace testsupport {

// A stream whose text can be read back at any time.
class MemoryStream {
public:
    MemoryStream() : stream_(std::tmpfile()) {}
    ~MemoryStream() {
        if (stream_ != nullptr) std::fclose(stream_);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    FILE* stream() const { return stream_; }
    // Everything written so far.
    std::string text() const {
        std::fflush(stream_);
        const long end = std::ftell(stream_);
        std::string text(static_cast<size_t>(end < 0 ? 0 : end), '\0');
        std::rewind(stream_);
        const size_t n = std::fread(text.data(), 1, text.size(), stream_);
        text.resize(n);
        std::fseek(stream_, 0, SEEK_END);
        return text;
    }

private:
    FILE* stream_;
};

// Diagnostics that print into memory: out() and err() give what was
// written to standard output and standard error.
class CapturedDiagnostics {
public:
    CapturedDiagnostics() : diag(out_.stream(), err_.stream()) {}
    std::string out() const { return out_.text(); }
    std::string err() const { return err_.text(); }

private:
    MemoryStream out_;
    MemoryStream err_;

public:
    coffhex::Diagnostics diag;
};

// Joins the continuation lines of a wrapped diagnostic.
inline std::string unwrap(const std::string& text) {
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

}  // namespace testsupport
