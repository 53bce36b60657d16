// Fuzz target: the fuzzed bytes, behind the ELF identification, are the ELF
// file of whole conversion runs under several option sets.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::enter_scratch_directory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The identification always stands in front, so that every input is
    // read as an ELF file; the rest is the fuzzer's (seeds: fixture ELF
    // files without their first four bytes).
    std::vector<uint8_t> file = {0x7F, 'E', 'L', 'F'};
    file.insert(file.end(), data, data + size);
    fuzzsupport::write_file("in.out", file.data(), file.size());
    fuzzsupport::run_muted({"-q", "in.out"});
    fuzzsupport::run_muted({"-q", "-i", "-memwidth", "32", "-romwidth", "8", "-map", "in.map", "in.out"});
    fuzzsupport::run_muted({"-q", "-m3", "-boot", "-bootorg", "0x100", "-e", "main", "in.out"});
    return 0;
}
