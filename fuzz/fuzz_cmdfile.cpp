// Fuzz target: the fuzzed bytes are a hex command file, converted with a
// small valid COFF file.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "coffgen/coffgen.h"
#include "fuzz_common.h"

namespace {

std::vector<uint8_t> g_object;

// Inputs that would name files outside the scratch directory, or ask for
// image mode (which legitimately writes every byte of ranges up to 4 GiB),
// are not run.
bool acceptable(const uint8_t* data, size_t size) {
    std::string lower;
    lower.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '/') {
            bool comment = (i + 1 < size && data[i + 1] == '*') || (i > 0 && data[i - 1] == '*');
            if (!comment) return false;
        }
        lower += static_cast<char>(std::tolower(data[i]));
    }
    return lower.find("image") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::enter_scratch_directory();
    g_object = coffgen::build(coffgen::parse(
        "entry 0x20\n"
        "section .text paddr=0x0 flags=0x20\n"
        "  pattern 100 seed=1\n"
        "section .data paddr=0x100 page=1\n"
        "  pattern 37 seed=2\n"
        "section .cinit paddr=0x200 flags=0x10\n"
        "  record 0x300 01 02 03 04 05\n"
        "  end-records\n"
        "section .bss paddr=0x300 size=0x40 flags=0x80 nodata\n"
        "symbol main 0x20\n"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!acceptable(data, size)) return -1;
    fuzzsupport::write_file("app.out", g_object.data(), g_object.size());
    fuzzsupport::write_file("fuzz.cmd", data, size);
    fuzzsupport::run_muted({"-q", "fuzz.cmd", "app.out"});
    return 0;
}
