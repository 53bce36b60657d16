// coffgen DESCRIPTION OUTPUT: writes the COFF file a description gives.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "coffgen/coffgen.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: coffgen DESCRIPTION OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "coffgen: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    try {
        coffgen::write_file(argv[2], coffgen::build(coffgen::parse(text.str())));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "coffgen: %s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
