// Fuzz target: the fuzzed bytes are the COFF file of whole conversion runs
// under several option sets.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::enter_scratch_directory();
    static const char roms[] =
        "ROMS {\n"
        "  PAGE 0:\n"
        "    low:  origin = 0x0000, length = 0x1000, romwidth = 8, memwidth = 32, files = { lo0 lo1 lo2 lo3 }\n"
        "    high: origin = 0x1000, length = 0x0800, romwidth = 16, memwidth = 16, fill = 0xFFFF\n"
        "}\n";
    fuzzsupport::write_file("roms.cmd", reinterpret_cast<const uint8_t*>(roms), sizeof roms - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::write_file("in.out", data, size);
    fuzzsupport::run_muted({"-q", "in.out"});
    fuzzsupport::run_muted({"-q", "-i", "-memwidth", "32", "-romwidth", "8", "in.out"});
    fuzzsupport::run_muted({"-q", "-a", "-image", "roms.cmd", "in.out"});
    fuzzsupport::run_muted({"-q", "-m3", "-boot", "-bootorg", "0x100", "-e", "main", "-map", "in.map",
                            "-checksum", "in.out"});
    return 0;
}
