// A ByteSink that keeps everything written to it in memory, for tests of
// the record writers and of anything that drives them.
#pragma once

#include <cstddef>
#include <string>

#include "formats/writer.h"

namespace testsupport {

class StringSink : public coffhex::ByteSink {
public:
    void write(const char* data, size_t length) override {
        text.append(data, length);
        ++writes;
    }
    std::string text;
    int writes = 0;  // calls of write()
};

}  // namespace testsupport
